#include "cli/output_sink.h"

#include <algorithm>
#include <cerrno>

#include "cli/input_list.h"
#include "io/text_file.h"
#include "platform/descriptor_io.h"
#include "platform/file_descriptor.h"
#include "platform/system_error_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr std::size_t blockBytes = std::size_t{1} << 20;

} // namespace

StandardOutput::StandardOutput(ErrorReport report, std::function<void()> beforeWrite)
    : m_report(std::move(report)), m_beforeWrite(std::move(beforeWrite))
{
    m_buffer.reserve(blockBytes + 4096);
}

StandardOutput::~StandardOutput() = default;

bool StandardOutput::write(std::string_view utf8)
{
    if (m_closed)
        return false;
    m_buffer.append(utf8);
    return m_buffer.size() < blockBytes || flush();
}

bool StandardOutput::flush()
{
    if (m_buffer.empty() || m_closed)
        return !m_closed;
    if (m_beforeWrite)
        m_beforeWrite();
    const bool written = WriteAll(
        STDOUT_FILENO, QByteArrayView(m_buffer.data(), static_cast<qsizetype>(m_buffer.size())));
    const int error = written ? 0 : errno;
    m_buffer.clear();
    if (written)
        return true;
    m_closed = true;
    if (error != EPIPE)
        m_report(u"Erreur d'écriture sur la sortie standard. %1"_s.arg(SystemErrorText(error)));
    return false;
}

void StandardOutput::finish(bool)
{
    flush();
}

KeptOutput::KeptOutput(QString path, TextEncoding encoding, ErrorReport report)
    : m_path(std::move(path)), m_encoding(encoding), m_report(std::move(report))
{}

bool KeptOutput::write(std::string_view utf8)
{
    m_text.append(utf8);
    return true;
}

void KeptOutput::finish(bool anyInputRead)
{
    if (!anyInputRead)
        return;
    const QString text = QString::fromUtf8(m_text.data(), static_cast<qsizetype>(m_text.size()));
    m_text = std::string();
    const QByteArray mark = ByteOrderMark(m_encoding);
    const QByteArray body = EncodeText(text, m_encoding);
    try {
        const QByteArray name = NativeName(m_path);
        struct stat status = {};
        if (::stat(name.constData(), &status) == 0 && S_ISCHR(status.st_mode)) {
            // A device keeps no old content to protect: it is written as it is.
            const FileDescriptor device(::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
            if (!device.isOpen())
                throw FileCreateError(u"Impossible de créer le fichier \"%1\". %2"_s.arg(
                    m_path, SystemErrorText(errno)));
            if (!WriteAll(device.get(), mark) || !WriteAll(device.get(), body))
                throw FileWriteError(u"Erreur d'écriture dans le flux"_s);
            return;
        }
        WriteWholeFile(m_path, mark, body);
    } catch (const AppError &error) {
        m_report(error.message());
    }
}
