#include "cli/printers.h"

#include <charconv>

namespace {

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// "name<TAB>line<TAB>" for --source; the escaped name is kept while it does not change.
class SourceColumns
{
public:
    bool put(OutputSink &sink, const QByteArray &name, std::int64_t line)
    {
        if (name != m_name || m_shown.isEmpty()) {
            m_name = name;
            m_shown = EscapedName(name) + '\t';
        }
        char digits[24];
        char *end = std::to_chars(digits, digits + sizeof digits - 1, line).ptr;
        *end++ = '\t';
        return sink.write(view(m_shown)) &&
               sink.write({digits, static_cast<std::size_t>(end - digits)});
    }

private:
    QByteArray m_name;
    QByteArray m_shown;
};

// One entry a line.
class LinesPrinter : public Printer
{
public:
    LinesPrinter(OutputSink &sink, QByteArray terminator)
        : m_sink(sink), m_terminator(std::move(terminator))
    {}
    bool entry(const QByteArray &, std::int64_t, std::string_view text) override
    {
        return m_sink.write(text) && m_sink.write(view(m_terminator));
    }

private:
    OutputSink &m_sink;
    QByteArray m_terminator;
};

// name<TAB>line<TAB>entry, a line each.
class SourcePrinter : public Printer
{
public:
    SourcePrinter(OutputSink &sink, QByteArray terminator)
        : m_sink(sink), m_terminator(std::move(terminator))
    {}
    bool entry(const QByteArray &name, std::int64_t line, std::string_view text) override
    {
        return m_columns.put(m_sink, name, line) && m_sink.write(text) &&
               m_sink.write(view(m_terminator));
    }

private:
    OutputSink &m_sink;
    QByteArray m_terminator;
    SourceColumns m_columns;
};

// A NUL after each entry, with or without the source columns.
class NulPrinter : public Printer
{
public:
    NulPrinter(OutputSink &sink, bool source) : m_sink(sink), m_source(source) {}
    bool entry(const QByteArray &name, std::int64_t line, std::string_view text) override
    {
        return (!m_source || m_columns.put(m_sink, name, line)) && m_sink.write(text) &&
               m_sink.write(std::string_view("\0", 1));
    }

private:
    OutputSink &m_sink;
    bool m_source;
    SourceColumns m_columns;
};

// Every entry on one line, the separator between them, the line ended after the last.
class SeparatorPrinter : public Printer
{
public:
    SeparatorPrinter(OutputSink &sink, QByteArray separator, QByteArray terminator, bool source)
        : m_sink(sink), m_separator(std::move(separator)), m_terminator(std::move(terminator)),
          m_source(source)
    {}
    bool entry(const QByteArray &name, std::int64_t line, std::string_view text) override
    {
        if (m_any && !m_sink.write(view(m_separator)))
            return false;
        m_any = true;
        return (!m_source || m_columns.put(m_sink, name, line)) && m_sink.write(text);
    }
    bool finish(std::int64_t) override { return !m_any || m_sink.write(view(m_terminator)); }

private:
    OutputSink &m_sink;
    QByteArray m_separator;
    QByteArray m_terminator;
    bool m_source;
    bool m_any = false;
    SourceColumns m_columns;
};

// name<TAB>count for each input read, then total<TAB>count.
class CountPrinter : public Printer
{
public:
    CountPrinter(OutputSink &sink, QByteArray terminator)
        : m_sink(sink), m_terminator(std::move(terminator))
    {}
    bool entry(const QByteArray &, std::int64_t, std::string_view) override { return true; }
    bool inputDone(const QByteArray &name, std::int64_t count) override
    {
        return line(EscapedName(name), count);
    }
    bool finish(std::int64_t total) override { return line("total", total); }

private:
    bool line(const QByteArray &label, std::int64_t count)
    {
        return m_sink.write(view(label + '\t' + QByteArray::number(count) + m_terminator));
    }

    OutputSink &m_sink;
    QByteArray m_terminator;
};

} // namespace

bool Printer::inputDone(const QByteArray &, std::int64_t)
{
    return true;
}

bool Printer::finish(std::int64_t)
{
    return true;
}

QByteArray EscapedName(const QByteArray &name)
{
    if (!name.contains('\n') && !name.contains('\t') && !name.contains('\\'))
        return name;
    QByteArray shown;
    shown.reserve(name.size() + 8);
    for (const char c : name) {
        switch (c) {
        case '\n':
            shown += "\\n";
            break;
        case '\t':
            shown += "\\t";
            break;
        case '\\':
            shown += "\\\\";
            break;
        default:
            shown += c;
        }
    }
    return shown;
}

std::unique_ptr<Printer> MakePrinter(const CliOptions &options, OutputSink &sink)
{
    const QByteArray terminator = options.outputPath.isEmpty() ? "\n" : "\r\n";
    if (options.count)
        return std::make_unique<CountPrinter>(sink,
                                              options.null ? QByteArray(1, '\0') : terminator);
    if (options.hasSeparator)
        return std::make_unique<SeparatorPrinter>(sink, options.separator.toUtf8(),
                                                  options.null ? QByteArray(1, '\0') : terminator,
                                                  options.source);
    if (options.null)
        return std::make_unique<NulPrinter>(sink, options.source);
    if (options.source)
        return std::make_unique<SourcePrinter>(sink, terminator);
    return std::make_unique<LinesPrinter>(sink, terminator);
}
