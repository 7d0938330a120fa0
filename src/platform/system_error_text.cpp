#include "platform/system_error_text.h"

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

// Our own wording: strerror() follows the process locale and is English in most installations.
QString frenchErrorText(int errorNumber)
{
    switch (errorNumber) {
    case 0:
        return u"L'opération a réussi."_s;
    case EPERM:
        return u"Opération non autorisée."_s;
    case ENOENT:
        return u"Le fichier ou le dossier spécifié est introuvable."_s;
    case EINTR:
        return u"L'opération a été interrompue."_s;
    case EIO:
        return u"Erreur d'entrée/sortie sur le périphérique."_s;
    case ENXIO:
        return u"Le périphérique ou l'adresse n'existe pas."_s;
    case EBADF:
        return u"Descripteur de fichier non valide."_s;
    case EAGAIN:
        return u"La ressource est temporairement indisponible."_s;
    case ENOMEM:
        return u"Mémoire insuffisante pour traiter cette commande."_s;
    case EACCES:
        return u"Accès refusé."_s;
    case EFAULT:
        return u"Adresse mémoire non valide."_s;
    case EBUSY:
        return u"Le fichier ou le périphérique est occupé."_s;
    case EEXIST:
        return u"Le fichier existe déjà."_s;
    case EXDEV:
        return u"Lien impossible entre deux systèmes de fichiers différents."_s;
    case ENODEV:
        return u"Le périphérique n'existe pas."_s;
    case ENOTDIR:
        return u"Un élément du chemin d'accès n'est pas un dossier."_s;
    case EISDIR:
        return u"Le chemin d'accès désigne un dossier."_s;
    case EINVAL:
        return u"Paramètre incorrect."_s;
    case ENFILE:
        return u"Le système a trop de fichiers ouverts."_s;
    case EMFILE:
        return u"Le programme a trop de fichiers ouverts."_s;
    case ETXTBSY:
        return u"Le fichier est utilisé par un programme en cours d'exécution."_s;
    case EFBIG:
        return u"Le fichier est trop volumineux."_s;
    case ENOSPC:
        return u"Il n'y a pas assez d'espace sur le disque."_s;
    case ESPIPE:
        return u"Déplacement impossible dans ce fichier."_s;
    case EROFS:
        return u"Le système de fichiers est en lecture seule."_s;
    case EMLINK:
        return u"Trop de liens."_s;
    case EPIPE:
        return u"Le canal de communication a été fermé."_s;
    case ENAMETOOLONG:
        return u"Le nom de fichier est trop long."_s;
    case ENOSYS:
        return u"Fonction non prise en charge."_s;
    case ENOTEMPTY:
        return u"Le dossier n'est pas vide."_s;
    case ELOOP:
        return u"Trop de niveaux de liens symboliques dans le chemin d'accès."_s;
    case EOVERFLOW:
        return u"Valeur trop grande pour le type de données."_s;
    case EILSEQ:
        return u"Le nom contient des caractères non valides."_s;
    case ENOTSUP:
        return u"Opération non prise en charge."_s;
    case ETIMEDOUT:
        return u"Le délai d'attente de l'opération a expiré."_s;
    case ESTALE:
        return u"Le descripteur de fichier réseau n'est plus valide."_s;
    case EDQUOT:
        return u"Le quota d'espace disque est dépassé."_s;
    case ENOLCK:
        return u"Aucun verrou disponible."_s;
    case EDEADLK:
        return u"Un interblocage de ressources a été évité."_s;
    case ECANCELED:
        return u"L'opération a été annulée."_s;
    default:
        break;
    }
    return u"Erreur système n° %1."_s.arg(errorNumber);
}

bool isTrailingJunk(QChar c)
{
    return c == u'.' || c.isSpace() || c.category() == QChar::Other_Control;
}

} // namespace

QString SystemErrorText(int errorNumber)
{
    return TrimErrorText(frenchErrorText(errorNumber));
}

QString TrimErrorText(QString text)
{
    qsizetype end = text.size();
    while (end > 0 && isTrailingJunk(text.at(end - 1)))
        --end;
    text.truncate(end);
    return text;
}
