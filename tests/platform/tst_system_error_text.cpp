#include <cerrno>

#include <QTest>

#include "platform/system_error_text.h"

using namespace Qt::StringLiterals;

class TestSystemErrorText : public QObject
{
    Q_OBJECT

private slots:
    void systemErrorText_data();
    void systemErrorText();
    void trimErrorText_data();
    void trimErrorText();
    void unknownErrorNumber();
};

void TestSystemErrorText::systemErrorText_data()
{
    QTest::addColumn<int>("errorNumber");
    for (const int e : {ENOENT, EACCES, EPERM,  EISDIR,  ENOTDIR, ENAMETOOLONG, ELOOP,    EROFS,
                        ENOSPC, EDQUOT, EBUSY,  ETXTBSY, EIO,     EEXIST,       EMFILE,   ENFILE,
                        ENOMEM, EFBIG,  EINVAL, EXDEV,   EAGAIN,  EINTR,        EOVERFLOW})
        QTest::addRow("errno %d", e) << e;
}

void TestSystemErrorText::systemErrorText()
{
    QFETCH(int, errorNumber);

    const QString text = SystemErrorText(errorNumber);
    QVERIFY(!text.isEmpty());
    QCOMPARE(TrimErrorText(text), text);
    QVERIFY2(!text.contains(u"Erreur système"_s), qPrintable(text));
}

void TestSystemErrorText::trimErrorText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");

    QTest::newRow("plain") << u"Accès refusé"_s << u"Accès refusé"_s;
    QTest::newRow("full stop") << u"Accès refusé."_s << u"Accès refusé"_s;
    QTest::newRow("mixed tail") << u"Accès refusé. .\r\n\t "_s << u"Accès refusé"_s;
    QTest::newRow("inner stops kept") << u"n° 1.2 x"_s << u"n° 1.2 x"_s;
    QTest::newRow("only junk") << u" ..\n"_s << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("leading kept") << u" .a"_s << u" .a"_s;
}

void TestSystemErrorText::trimErrorText()
{
    QFETCH(QString, text);
    QFETCH(QString, trimmed);

    QCOMPARE(TrimErrorText(text), trimmed);
}

void TestSystemErrorText::unknownErrorNumber()
{
    QCOMPARE(SystemErrorText(98765), u"Erreur système n° 98765"_s);
}

QTEST_GUILESS_MAIN(TestSystemErrorText)
#include "tst_system_error_text.moc"
