#include "cli/cli_run.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "cli/address_collector.h"
#include "cli/cli_options.h"
#include "cli/input_list.h"
#include "cli/input_stream.h"
#include "cli/kept_entries.h"
#include "cli/member_search.h"
#include "cli/ordered_workers.h"
#include "cli/output_sink.h"
#include "cli/piece_reader.h"
#include "cli/plain_text.h"
#include "cli/printers.h"
#include "cli/progress.h"
#include "cli/token_collector.h"
#include "formats/containers.h"
#include "errors/shown_message.h"
#include "formats/format_decoders.h"
#include "io/text_encoding.h"
#include "platform/descriptor_io.h"
#include "platform/parallel.h"
#include "platform/system_error_text.h"

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr std::size_t headBytes = 64 * 1024;
constexpr std::size_t pieceReadingFrom = std::size_t{1} << 20;

// Reads a whole list of names (--files-from); a list is small.
QByteArray readList(const CliInput &input)
{
    DescriptorSource source(input, nullptr);
    QByteArray bytes;
    char piece[65536];
    for (std::size_t got; (got = source.read(piece, sizeof piece)) > 0;)
        bytes.append(piece, static_cast<qsizetype>(got));
    return bytes;
}

class Runner : public OrderedConsumer
{
public:
    explicit Runner(const CliOptions &options)
        : m_options(options), m_progress(!options.quiet),
          m_jobs(options.jobs > 0 ? options.jobs : static_cast<int>(CoreCount()))
    {
        const ErrorReport report = [this](const QString &message) { reportError(message); };
        if (options.outputPath.isEmpty()) {
            const bool terminal = ::isatty(STDOUT_FILENO) == 1;
            m_sink = std::make_unique<StandardOutput>(report, [this, terminal] {
                if (terminal)
                    m_progress.clear();
            });
        } else {
            m_sink = std::make_unique<KeptOutput>(options.outputPath, options.encoding, report);
            m_checkCodePage = !options.tokens && options.encoding == TextEncoding::SystemCodePage;
        }
        m_printer = MakePrinter(options, *m_sink);
    }

    int run()
    {
        const auto report = [this](const QString &message) { reportError(message); };
        QStringList arguments = m_options.inputs;
        for (const QString &list : m_options.filesFrom)
            arguments << namesIn(list);
        if (arguments.isEmpty() && m_options.filesFrom.isEmpty())
            arguments << u"-"_s;
        m_inputs = ExpandInputs(arguments, NameFilter(m_options.globs), report);
        // One input alone has the cores to itself.
        if (m_inputs.size() == 1)
            m_pieceThreads = static_cast<std::size_t>(std::min(m_jobs, 8));

        const OrderedJob job = [this](std::size_t input, BlockSink &sink) { read(input, sink); };
        RunOrdered(m_inputs.size(), m_jobs, job, *this);
        if (!m_stopped)
            finish();
        m_progress.clear();
        return m_failed ? 1 : 0;
    }

    bool block(std::size_t, EntryBlock &&block) override
    {
        if (!block.warning.isEmpty()) {
            reportError(block.warning);
            return true;
        }
        const std::string_view text(block.text);
        std::size_t from = 0;
        for (std::size_t k = 0; from < text.size(); ++k) {
            const std::size_t end = text.find('\n', from);
            const std::string_view entry = text.substr(from, end - from);
            from = end + 1;
            const std::int64_t line = k < block.lines.size() ? block.lines[k] : 0;
            if (!take(block.name, line, entry))
                return stop();
        }
        return true;
    }

    bool inputDone(std::size_t input, std::exception_ptr failure) override
    {
        ++m_progress.filesDone;
        const std::int64_t count = std::exchange(m_inputCount, 0);
        if (failure) {
            reportError(failureMessage(input, failure));
        } else {
            m_anyRead = true;
            if (!m_printer->inputDone(shownName(input), count))
                return stop();
        }
        m_progress.show();
        return true;
    }

    void idle() override { m_progress.show(); }

private:
    // ---- on a worker thread: one input, read as a stream

    void read(std::size_t input, BlockSink &sink)
    {
        DescriptorSource bytes(m_inputs[input], &m_progress.bytesRead);
        PeekableSource source(bytes);
        const QByteArray name = shownName(input);
        if (m_options.tokens) {
            // The window's rules, unless an encoding is named: UTF-8 after its mark must then be
            // valid to its end, so nothing of such a text is handed on before that end.
            const PlainTextRules rules{m_options.inputEncoding, !m_options.inputEncodingGiven,
                                       m_options.source};
            const bool holdAll =
                rules.windowRules && FindInputMark(source.peek(4)).encoding == InputEncoding::Utf8;
            TokenCollector tokens(sink, name, m_options.source, holdAll, &m_progress.entriesFound);
            const bool wellFormed = ReadPlainText(source, rules, tokens);
            tokens.finish(wellFormed);
            return;
        }
        AddressCollector addresses(sink, name, m_options.source, &m_progress.entriesFound);
        // Small texts of an archive are searched side by side, as the pieces of a large one.
        MemberSearch members(sink, addresses, m_pieceThreads, m_options.inputEncoding,
                             m_options.source, &m_progress.entriesFound);
        const StreamReader readStream = [&](PeekableSource &stream, const QString &streamName) {
            if (!m_options.formatText) {
                const InputFormat format = DetectFormat(stream.peek(headBytes), streamName);
                if (format != InputFormat::Text) {
                    members.flush();
                    if (format == InputFormat::Mail &&
                        readInPieces(stream, PieceKind::Mailbox, sink, addresses))
                        return;
                    DecodeFormat(format, stream, streamName, {m_options.inputEncoding}, addresses);
                    return;
                }
            }
            if (members.take(stream))
                return;
            members.flush();
            if (readInPieces(stream, PieceKind::PlainText, sink, addresses))
                return;
            ReadPlainText(stream, {m_options.inputEncoding, false, m_options.source}, addresses);
        };
        ContainerLimits limits;
        limits.maxExpand = m_options.maxExpand;
        try {
            ReadContainers(source, displayPath(input), limits, members, readStream);
        } catch (...) {
            // What was read before the fault is still told.
            members.flush();
            addresses.flush();
            throw;
        }
        members.flush();
        addresses.flush();
    }

    // A large text or mailbox is read on several cores; a small one is not worth the threads.
    bool readInPieces(PeekableSource &stream, PieceKind kind, BlockSink &sink,
                      AddressCollector &addresses)
    {
        if (m_pieceThreads < 2 ||
            stream.peek(pieceReadingFrom).size() < static_cast<qsizetype>(pieceReadingFrom))
            return false;
        addresses.flush();
        return FindAddressesInPieces(stream, kind, m_options.inputEncoding, m_pieceThreads, sink,
                                     addresses.currentName(), m_options.source,
                                     &m_progress.entriesFound);
    }

    // ---- on the caller's thread, in input order

    bool take(const QByteArray &name, std::int64_t line, std::string_view entry)
    {
        if (m_options.unique && !m_firstOccurrences.first(entry))
            return true;
        if (m_checkCodePage && !fitsCodePage(entry)) {
            reportError(u"L'adresse « %1 » ne peut pas être écrite en Windows-1252 : rien n'a été "
                        u"écrit (--encoding utf8 l'écrirait)"_s.arg(
                            QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()))));
            return false;
        }
        ++m_inputCount;
        ++m_total;
        if (m_options.count)
            return true;
        if (m_options.sort) {
            m_sorted.keep(name, line, entry);
            return true;
        }
        return m_printer->entry(name, line, entry);
    }

    static bool fitsCodePage(std::string_view entry)
    {
        if (std::all_of(entry.begin(), entry.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            return true;
        const QString text = QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()));
        return DecodeText(EncodeText(text, TextEncoding::SystemCodePage),
                          TextEncoding::SystemCodePage) == text;
    }

    bool stop()
    {
        m_stopped = true;
        return false;
    }

    void finish()
    {
        if (m_options.sort && !m_options.count && !m_sorted.print(*m_printer))
            return;
        if (!m_printer->finish(m_total))
            return;
        // Without a single input read, --output leaves the old file as it was.
        m_sink->finish(m_anyRead || m_inputs.empty());
    }

    QString failureMessage(std::size_t input, std::exception_ptr failure) const
    {
        try {
            std::rethrow_exception(failure);
        } catch (const AppError &error) {
            return error.message();
        } catch (const std::bad_alloc &) {
            return u"Mémoire insuffisante pour lire le fichier \"%1\""_s.arg(displayPath(input));
        } catch (const std::exception &error) {
            return u"Impossible de lire le fichier \"%1\". %2"_s.arg(
                displayPath(input), QString::fromUtf8(error.what()));
        }
    }

    QStringList namesIn(const QString &list)
    {
        try {
            const QByteArray bytes = readList({list, list == u"-"});
            if (!m_options.null && bytes.contains('\0')) {
                reportError(
                    u"La liste de fichiers « %1 » contient des octets nuls : pour une "
                    u"liste séparée par des octets nuls, ajoutez l'option -0 (--null)"_s.arg(list));
                return {};
            }
            QStringList names;
            for (const QString &name : SplitPathList(bytes, m_options.null))
                names << name;
            return names;
        } catch (const AppError &error) {
            reportError(error.message());
            return {};
        }
    }

    QString displayPath(std::size_t input) const
    {
        return m_inputs[input].standardInput ? u"-"_s : m_inputs[input].path;
    }

    QByteArray shownName(std::size_t input) const { return NativeName(displayPath(input)); }

    void reportError(const QString &message)
    {
        m_progress.clear();
        WriteAll(STDERR_FILENO, NativeName(ShownMessage(message)) + '\n');
        m_failed = true;
    }

    const CliOptions &m_options;
    Progress m_progress;
    int m_jobs;
    std::size_t m_pieceThreads = 1;
    std::vector<CliInput> m_inputs;
    std::unique_ptr<OutputSink> m_sink;
    std::unique_ptr<Printer> m_printer;
    FirstOccurrences m_firstOccurrences;
    SortedEntries m_sorted;
    bool m_checkCodePage = false;
    bool m_failed = false;
    bool m_stopped = false;
    bool m_anyRead = false;
    std::int64_t m_inputCount = 0;
    std::int64_t m_total = 0;
};

} // namespace

int RunCli(const QStringList &arguments)
{
    CliOptions options;
    try {
        options = ParseCliOptions(arguments);
    } catch (const UsageError &error) {
        const QString text = u"extracteur-cli : "_s + error.message() + u'\n' + UsageLine() +
                             u"\nPour en savoir plus : extracteur-cli --help\n"_s;
        WriteAll(STDERR_FILENO, NativeName(text));
        return 2;
    }
    if (options.help || options.version) {
        if (WriteAll(STDOUT_FILENO, (options.help ? HelpText() : CliVersionText()).toUtf8()))
            return 0;
        const int error = errno;
        if (error == EPIPE)
            return 0;
        WriteAll(STDERR_FILENO, (ShownMessage(u"Erreur d'écriture sur la sortie standard. %1"_s.arg(
                                     SystemErrorText(error))) +
                                 u'\n')
                                    .toUtf8());
        return 1;
    }
    try {
        return Runner(options).run();
    } catch (const std::bad_alloc &) {
        WriteAll(STDERR_FILENO, "Mémoire insuffisante.\n");
        return 1;
    }
}
