#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <QString>

#include "io/text_encoding.h"

// Where the printed text goes, in UTF-8.
class OutputSink
{
public:
    virtual ~OutputSink() = default;
    // False once the output is closed or broken: the run stops.
    virtual bool write(std::string_view utf8) = 0;
    // Called once at the end of a run that went to its end.
    virtual void finish(bool anyInputRead) = 0;
};

using ErrorReport = std::function<void(const QString &message)>;

// Standard output, a block at a time. A reader that went away ends the run quietly; any other
// failure is reported.
class StandardOutput : public OutputSink
{
public:
    StandardOutput(ErrorReport report, std::function<void()> beforeWrite);
    ~StandardOutput() override;
    bool write(std::string_view utf8) override;
    void finish(bool anyInputRead) override;

private:
    bool flush();

    ErrorReport m_report;
    std::function<void()> m_beforeWrite;
    std::string m_buffer;
    bool m_closed = false;
};

// --output: the whole text is kept in memory (it is as large as the output, not the input) and
// written at the end as the window saves a list, through the safe write, so that a failure
// leaves the old file as it was. When no input could be read the old file is left alone. A
// character device such as /dev/null is written straight; a FIFO or a socket is refused.
class KeptOutput : public OutputSink
{
public:
    KeptOutput(QString path, TextEncoding encoding, ErrorReport report);
    bool write(std::string_view utf8) override;
    void finish(bool anyInputRead) override;

private:
    QString m_path;
    TextEncoding m_encoding;
    ErrorReport m_report;
    std::string m_text;
};
