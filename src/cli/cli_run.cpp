#include "cli/cli_run.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <numeric>
#include <new>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include <QFile>
#include <QHashFunctions>

#include "cli/address_order.h"
#include "cli/cli_options.h"
#include "cli/input_list.h"
#include "extract/extract_command.h"
#include "extract/list_search.h"
#include "extract/text_order.h"
#include "io/text_file.h"
#include "platform/system_error_text.h"

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Files are extracted in pieces of this many lines, spread over the worker's threads.
constexpr qsizetype linesPerPiece = 65536;

// Writes every byte to a descriptor; 0 on success, else the error number.
int writeAll(int fd, QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written =
            ::write(fd, data, static_cast<std::size_t>(std::min<qsizetype>(left, 1 << 30)));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        data += written;
        left -= written;
    }
    return 0;
}

QByteArray readStandardInput()
{
    QByteArray bytes;
    qsizetype used = 0;
    for (;;) {
        if (bytes.size() - used < 65536)
            bytes.resize(std::max<qsizetype>(bytes.size() * 2, 1 << 20));
        const ssize_t got = ::read(STDIN_FILENO, bytes.data() + used,
                                   static_cast<std::size_t>(bytes.size() - used));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FileOpenError(
                u"Impossible de lire l'entrée standard. %1"_s.arg(SystemErrorText(errno)));
        if (got == 0)
            break;
        used += got;
    }
    bytes.truncate(used);
    return bytes;
}

// Writes the UTF-8 form of `text` at p and returns the end; a surrogate without its pair
// becomes U+FFFD. Room for three bytes a code unit must be there.
char *putUtf8(char *p, QStringView text)
{
    const char16_t *d = text.utf16();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = d[i];
        if (c < 0x80) {
            *p++ = static_cast<char>(c);
            continue;
        }
        if (c < 0x800) {
            *p++ = static_cast<char>(0xc0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3f));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(d[i + 1])) {
            c = QChar::surrogateToUcs4(static_cast<char16_t>(c), d[++i]);
            *p++ = static_cast<char>(0xf0 | (c >> 18));
            *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3f));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            *p++ = static_cast<char>(0x80 | (c & 0x3f));
            continue;
        }
        if (QChar::isSurrogate(c))
            c = 0xfffd;
        *p++ = static_cast<char>(0xe0 | (c >> 12));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        *p++ = static_cast<char>(0x80 | (c & 0x3f));
    }
    return p;
}

// The full stop the window's error box adds after a message that does not end with one.
QString shownMessage(QString message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        message += u'.';
    return message;
}

// The addresses of one part of a file, formatted for direct output or kept for a later order.
struct Piece
{
    TextTable addresses;
    std::vector<qsizetype> lines; // line number of each address (from 1), with --source
    QString text;                 // formatted, for --output
    QByteArray utf8;              // formatted, for standard output
    qsizetype count = 0;
};

struct FileResult
{
    QString error;
    bool failed = false;
    std::vector<Piece> pieces;
};

class Runner
{
public:
    explicit Runner(const CliOptions &options) : m_options(options)
    {
        m_toFile = !m_options.outputPath.isEmpty();
        m_keepAll = m_options.unique || m_options.sort;
        m_terminator = m_options.null ? u"\0"_s : m_toFile ? u"\r\n"_s : u"\n"_s;
        m_jobs = m_options.jobs > 0
                     ? m_options.jobs
                     : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        m_progressWanted = !m_options.quiet && ::isatty(STDERR_FILENO) == 1;
        m_stdoutIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    }

    int run()
    {
        const auto report = [this](const QString &message) { reportError(message); };
        const NameFilter filter(m_options.globs);
        QStringList arguments = m_options.inputs;
        for (const QString &list : m_options.filesFrom) {
            try {
                const QByteArray bytes = list == u"-" ? readStandardInput() : ReadWholeFile(list);
                arguments << SplitPathList(bytes, m_options.null);
            } catch (const AppError &error) {
                reportError(error.message());
            }
        }
        if (arguments.isEmpty() && m_options.filesFrom.isEmpty())
            arguments << u"-"_s;
        m_inputs = ExpandInputs(arguments, filter, report);

        processAll();
        if (!m_closed)
            finish();
        clearProgress();
        return m_failed ? 1 : 0;
    }

private:
    void reportError(const QString &message)
    {
        clearProgress();
        const QByteArray line = shownMessage(message).toUtf8() + '\n';
        writeAll(STDERR_FILENO, line);
        m_failed = true;
    }

    // ---- the work on one file, on a worker thread

    QString displayPath(std::size_t index) const
    {
        return m_inputs[index].standardInput ? u"-"_s : m_inputs[index].path;
    }

    FileResult processFile(std::size_t index)
    {
        FileResult result;
        const CliInput &input = m_inputs[index];
        try {
            const QByteArray stdinBytes = input.standardInput ? readStandardInput() : QByteArray();
            TextFileContent content =
                input.standardInput ? DecodeTextFile(stdinBytes) : ReadTextFile(input.path);
            m_bytesRead += input.standardInput ? stdinBytes.size() : QFile(input.path).size();
            if (m_keepAll && !m_options.source) {
                // Everything is kept for the end: the addresses are written over the file's own
                // text, with both cores when this is the only file.
                Piece piece;
                piece.addresses = ExtractAddresses(std::move(content.lines),
                                                   m_inputs.size() == 1 ? ExtractThreads::Automatic
                                                                        : ExtractThreads::One);
                piece.count = piece.addresses.size();
                m_addresses += piece.count;
                result.pieces.push_back(std::move(piece));
            } else {
                extractPieces(content.lines, displayPath(index), result);
            }
        } catch (const AppError &error) {
            result = FileResult();
            result.failed = true;
            result.error = error.message();
        } catch (const std::bad_alloc &) {
            result = FileResult();
            result.failed = true;
            result.error = u"Mémoire insuffisante pour lire le fichier \"%1\""_s.arg(input.path);
        }
        ++m_filesDone;
        return result;
    }

    void extractPieces(const TextTable &lines, const QString &path, FileResult &result)
    {
        const qsizetype count = lines.size();
        const qsizetype pieces =
            std::max<qsizetype>(1, (count + linesPerPiece - 1) / linesPerPiece);
        result.pieces.resize(static_cast<std::size_t>(pieces));
        const auto work = [&](qsizetype k) {
            const qsizetype from = count * k / pieces;
            const qsizetype to = count * (k + 1) / pieces;
            // The piece shares the file's buffer; only its spans are copied.
            const auto begin = lines.spans().begin();
            const TextTable part(lines.buffer(), std::vector<TextSpan>(begin + from, begin + to));
            Piece &piece = result.pieces[static_cast<std::size_t>(k)];
            std::vector<qsizetype> entries;
            piece.addresses = ExtractAddresses(part, m_options.source ? &entries : nullptr);
            if (m_options.source) {
                piece.lines.reserve(entries.size());
                for (qsizetype e : entries)
                    piece.lines.push_back(from + e + 1);
            }
            piece.count = piece.addresses.size();
            m_addresses += piece.count;
            if (!m_keepAll && !m_options.count)
                formatPiece(piece, path);
        };
        // Small pieces taken in turn by the threads: the memory of one piece's extract is
        // reused by the next instead of fresh pages for the whole file.
        std::atomic<qsizetype> next{0};
        std::exception_ptr failure;
        std::mutex failureMutex;
        const auto loop = [&] {
            try {
                for (qsizetype k = next++; k < pieces; k = next++)
                    work(k);
            } catch (...) {
                next = pieces;
                std::lock_guard lock(failureMutex);
                failure = std::current_exception();
            }
        };
        std::vector<std::thread> helpers;
        // With several files in flight the workers already keep every core busy.
        const qsizetype filesInFlight =
            std::clamp<qsizetype>(static_cast<qsizetype>(m_inputs.size()), 1, m_jobs);
        const qsizetype threads = std::min<qsizetype>(pieces, m_jobs / filesInFlight);
        for (qsizetype t = 1; t < threads; ++t)
            helpers.emplace_back(loop);
        loop();
        for (std::thread &t : helpers)
            t.join();
        if (failure)
            std::rethrow_exception(failure);
    }

    // Appends one entry as the output shows it; `first` is false after the first entry of a run.
    void appendEntry(QString &out, const QString &path, qsizetype line, QStringView address,
                     bool first) const
    {
        if (m_options.hasSeparator && !first)
            out += m_options.separator;
        if (m_options.source) {
            out += path;
            out += u'\t';
            out += QString::number(line);
            out += u'\t';
        }
        out += address;
        if (!m_options.hasSeparator)
            out += m_terminator;
    }

    void formatPiece(Piece &piece, const QString &path) const
    {
        const TextTable &a = piece.addresses;
        if (m_toFile) {
            QString out;
            out.reserve(a.buffer().size() +
                        a.size() * (2 + (m_options.source ? path.size() + 24 : 0)));
            for (qsizetype i = 0; i < a.size(); ++i) {
                const qsizetype line =
                    m_options.source ? piece.lines[static_cast<std::size_t>(i)] : 0;
                appendEntry(out, path, line, a.at(i), i == 0);
            }
            piece.text = std::move(out);
        } else {
            piece.utf8 = formatUtf8(piece, path);
        }
        piece.addresses = TextTable();
        piece.lines = {};
    }

    // The same entries as appendEntry gives, written straight into UTF-8.
    QByteArray formatUtf8(const Piece &piece, const QString &path) const
    {
        const TextTable &a = piece.addresses;
        const QByteArray pathBytes = m_options.source ? path.toUtf8() : QByteArray();
        const QByteArray separator = m_options.separator.toUtf8();
        const QByteArray terminator = m_terminator.toUtf8();
        const qsizetype perEntry =
            separator.size() + terminator.size() + (m_options.source ? pathBytes.size() + 24 : 0);
        QByteArray out;
        out.resize(a.buffer().size() * 3 + a.size() * perEntry);
        char *p = out.data();
        const auto put = [&p](const QByteArray &bytes) {
            std::memcpy(p, bytes.constData(), static_cast<std::size_t>(bytes.size()));
            p += bytes.size();
        };
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (m_options.hasSeparator && i > 0)
                put(separator);
            if (m_options.source) {
                put(pathBytes);
                *p++ = '\t';
                p = std::to_chars(p, p + 24, piece.lines[static_cast<std::size_t>(i)]).ptr;
                *p++ = '\t';
            }
            p = putUtf8(p, a.at(i));
            if (!m_options.hasSeparator)
                put(terminator);
        }
        out.truncate(p - out.constData());
        return out;
    }

    // ---- the ordered output, on the main thread

    // False once the output is closed or broken: the run stops.
    bool emitText(const QString &text)
    {
        if (m_toFile) {
            m_fileText += text;
            return true;
        }
        QByteArray bytes(text.size() * 3, Qt::Uninitialized);
        bytes.truncate(putUtf8(bytes.data(), text) - bytes.constData());
        return emitUtf8(bytes);
    }

    bool emitUtf8(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return true;
        if (m_toFile) {
            m_fileText += QString::fromUtf8(bytes);
            return true;
        }
        if (m_progressShown && m_stdoutIsTerminal)
            clearProgress();
        const int error = writeAll(STDOUT_FILENO, bytes);
        if (error == 0)
            return true;
        m_closed = true;
        // A reader that went away ends the run quietly; any other failure is told.
        if (error != EPIPE)
            reportError(
                u"Erreur d'écriture sur la sortie standard. %1"_s.arg(SystemErrorText(error)));
        return false;
    }

    // Hands one file's result to the output in input order.
    bool consume(std::size_t index, FileResult &result)
    {
        if (result.failed) {
            reportError(result.error);
            return true;
        }
        if (m_keepAll) {
            keep(index, result);
            return true;
        }
        if (m_options.count) {
            qsizetype count = 0;
            for (const Piece &piece : result.pieces)
                count += piece.count;
            m_total += count;
            return emitText(displayPath(index) + u'\t' + QString::number(count) + m_terminator);
        }
        for (Piece &piece : result.pieces) {
            const bool empty = m_toFile ? piece.text.isEmpty() : piece.utf8.isEmpty();
            if (empty)
                continue;
            if (m_options.hasSeparator && m_anyEntry && !emitText(m_options.separator))
                return false;
            m_anyEntry = true;
            if (!(m_toFile ? emitText(piece.text) : emitUtf8(piece.utf8)))
                return false;
        }
        return true;
    }

    void keep(std::size_t index, FileResult &result)
    {
        for (Piece &piece : result.pieces) {
            if (piece.addresses.size() > 0)
                m_kept.push_back({std::move(piece.addresses), std::move(piece.lines), index});
            piece = Piece();
        }
    }

    // With --unique and --sort every address is known before the first is written.
    void finish()
    {
        if (m_keepAll)
            finishKept();
        else if (m_options.count)
            emitText(u"total\t"_s + QString::number(m_total) + m_terminator);
        if (m_closed)
            return;
        if (m_options.hasSeparator && m_anyEntry && !emitText(m_terminator))
            return;
        if (m_toFile)
            writeOutputFile();
    }

    // The kept addresses as one table; the first entry of each kept piece.
    TextTable joinKept(std::vector<qsizetype> &pieceStarts, std::vector<qsizetype> &lines)
    {
        if (m_kept.size() == 1 && !m_options.source) {
            pieceStarts.push_back(0);
            return std::move(m_kept.front().addresses);
        }
        qsizetype units = 0;
        std::size_t entries = 0;
        for (const Kept &kept : m_kept) {
            units += kept.addresses.buffer().size();
            entries += kept.addresses.spans().size();
        }
        QString buffer = UninitializedText(units);
        std::vector<TextSpan> spans;
        spans.reserve(entries);
        qsizetype at = 0;
        for (Kept &kept : m_kept) {
            pieceStarts.push_back(static_cast<qsizetype>(spans.size()));
            const QString &text = kept.addresses.buffer();
            std::copy(text.begin(), text.end(), buffer.begin() + at);
            for (const TextSpan &s : kept.addresses.spans())
                spans.push_back({at + s.offset, s.length});
            at += text.size();
            lines.insert(lines.end(), kept.lines.begin(), kept.lines.end());
            // Each piece's memory goes as soon as it is copied.
            kept.addresses = TextTable();
            kept.lines = {};
        }
        return TextTable(std::move(buffer), std::move(spans));
    }

    void finishKept()
    {
        std::vector<qsizetype> pieceStarts;
        std::vector<qsizetype> lines;
        const TextTable all = joinKept(pieceStarts, lines);
        const auto fileOf = [&](qsizetype entry) {
            const auto piece = std::upper_bound(pieceStarts.begin(), pieceStarts.end(), entry) -
                               pieceStarts.begin() - 1;
            return m_kept[static_cast<std::size_t>(piece)].file;
        };
        std::vector<qsizetype> order;
        if (m_options.unique) {
            order = FirstOfEachIgnoringCase(all);
            if (m_options.sort)
                SortIgnoringCase(all, order);
        } else if (m_options.sort) {
            const std::vector<std::uint32_t> sorted = TextOrder().sortedOrder(all);
            order.assign(sorted.begin(), sorted.end());
        } else {
            order.resize(static_cast<std::size_t>(all.size()));
            std::iota(order.begin(), order.end(), qsizetype{0});
        }

        if (m_options.count) {
            std::vector<qsizetype> perFile(m_inputs.size(), 0);
            for (qsizetype i : order)
                ++perFile[fileOf(i)];
            QString out;
            for (std::size_t f = 0; f < m_inputs.size(); ++f) {
                if (m_readOk[f])
                    out += displayPath(f) + u'\t' + QString::number(perFile[f]) + m_terminator;
            }
            out += u"total\t"_s + QString::number(order.size()) + m_terminator;
            emitText(out);
            return;
        }
        if (!m_toFile) {
            emitKeptUtf8(all, order, lines, fileOf);
            return;
        }
        constexpr qsizetype block = 1 << 20;
        QString out;
        out.reserve(block + 4096);
        for (std::size_t k = 0; k < order.size(); ++k) {
            const qsizetype i = order[k];
            const qsizetype line = m_options.source ? lines[static_cast<std::size_t>(i)] : 0;
            appendEntry(out, displayPath(fileOf(i)), line, all.at(i), !m_anyEntry);
            m_anyEntry = true;
            if (out.size() >= block) {
                if (!emitText(out))
                    return;
                out.truncate(0);
            }
        }
        emitText(out);
    }

    // The kept entries in `order`, written to standard output straight in UTF-8, a block at a
    // time.
    template <typename FileOf>
    void emitKeptUtf8(const TextTable &all, const std::vector<qsizetype> &order,
                      const std::vector<qsizetype> &lines, const FileOf &fileOf)
    {
        const QByteArray separator = m_options.separator.toUtf8();
        const QByteArray terminator = m_terminator.toUtf8();
        const std::vector<TextSpan> &spans = all.spans();
        const QChar *text = all.buffer().constData();
        // Encodes order[from, to) at the end of `out`; `first` when it holds the very first entry.
        const auto encode = [&](std::size_t from, std::size_t to, bool first, QByteArray &out) {
            qsizetype used = 0;
            std::size_t pathFile = m_inputs.size();
            QByteArray pathBytes;
            const auto put = [&](const QByteArray &bytes) {
                std::memcpy(out.data() + used, bytes.constData(),
                            static_cast<std::size_t>(bytes.size()));
                used += bytes.size();
            };
            // The entries lie scattered in the buffer: their spans and texts are asked for a
            // few entries ahead, so that many of those reads are under way at once.
            for (std::size_t k = from; k < to; ++k) {
                if (k + 32 < to)
                    __builtin_prefetch(&spans[static_cast<std::size_t>(order[k + 32])]);
                if (k + 16 < to)
                    __builtin_prefetch(text +
                                       spans[static_cast<std::size_t>(order[k + 16])].offset);
                const qsizetype i = order[k];
                if (m_options.source && fileOf(i) != pathFile) {
                    pathFile = fileOf(i);
                    pathBytes = displayPath(pathFile).toUtf8();
                }
                const QStringView address = all.at(i);
                const qsizetype room = address.size() * 3 + separator.size() + terminator.size() +
                                       pathBytes.size() + 48;
                if (out.size() - used < room)
                    out.resize(std::max(out.size() * 2, used + room));
                if (m_options.hasSeparator && !(first && k == from))
                    put(separator);
                if (m_options.source) {
                    put(pathBytes);
                    out[used++] = '\t';
                    char *end = std::to_chars(out.data() + used, out.data() + used + 24,
                                              lines[static_cast<std::size_t>(i)])
                                    .ptr;
                    used = end - out.constData();
                    out[used++] = '\t';
                }
                used = putUtf8(out.data() + used, address) - out.constData();
                if (!m_options.hasSeparator)
                    put(terminator);
            }
            out.truncate(used);
        };
        // Two stretches of entries at a time, one on each core, written in order.
        constexpr std::size_t stretch = 1 << 16;
        const std::size_t count = order.size();
        QByteArray outs[2];
        for (std::size_t from = 0; from < count; from += 2 * stretch) {
            const std::size_t middle = std::min(count, from + stretch);
            const std::size_t to = std::min(count, from + 2 * stretch);
            outs[0].resize(1 << 20);
            outs[1].resize(middle < to ? 1 << 20 : 0);
            std::thread helper;
            if (middle < to)
                helper = std::thread(encode, middle, to, false, std::ref(outs[1]));
            encode(from, middle, !m_anyEntry && from == 0, outs[0]);
            if (helper.joinable())
                helper.join();
            m_anyEntry = true;
            if (!emitUtf8(outs[0]) || !emitUtf8(outs[1]))
                return;
        }
    }

    void writeOutputFile()
    {
        try {
            WriteWholeFile(m_options.outputPath, ByteOrderMark(m_options.encoding),
                           EncodeText(m_fileText, m_options.encoding));
        } catch (const AppError &error) {
            reportError(error.message());
        }
    }

    // ---- workers and progress

    void processAll()
    {
        const std::size_t count = m_inputs.size();
        m_readOk.assign(count, false);
        // Workers run at most this far ahead of the output, which bounds the memory held.
        const std::size_t ahead = static_cast<std::size_t>(m_jobs) * 2;
        std::size_t next = 0;
        std::size_t consumed = 0;
        bool stop = false;
        std::unordered_map<std::size_t, FileResult> ready;
        std::mutex mutex;
        std::condition_variable workerWake;
        std::condition_variable mainWake;

        const auto worker = [&] {
            for (;;) {
                std::size_t index;
                {
                    std::unique_lock lock(mutex);
                    workerWake.wait(
                        lock, [&] { return stop || next >= count || next < consumed + ahead; });
                    if (stop || next >= count)
                        return;
                    index = next++;
                }
                FileResult result = processFile(index);
                {
                    std::lock_guard lock(mutex);
                    ready.emplace(index, std::move(result));
                }
                mainWake.notify_one();
            }
        };
        std::vector<std::thread> workers;
        const int threads =
            static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(m_jobs), count));
        for (int t = 0; t < threads; ++t)
            workers.emplace_back(worker);

        m_started = std::chrono::steady_clock::now();
        for (std::size_t index = 0; index < count; ++index) {
            FileResult result;
            {
                std::unique_lock lock(mutex);
                while (!mainWake.wait_for(lock, std::chrono::milliseconds(200),
                                          [&] { return ready.count(index) != 0; })) {
                    lock.unlock();
                    showProgress();
                    lock.lock();
                }
                auto it = ready.find(index);
                result = std::move(it->second);
                ready.erase(it);
                consumed = index + 1;
            }
            workerWake.notify_all();
            m_readOk[index] = !result.failed;
            const bool goOn = consume(index, result);
            showProgress();
            if (!goOn)
                break;
        }
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        workerWake.notify_all();
        for (std::thread &t : workers)
            t.join();
    }

    void showProgress()
    {
        if (!m_progressWanted)
            return;
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - m_started).count();
        if (seconds < 1.0 || now - m_lastProgress < std::chrono::milliseconds(200))
            return;
        m_lastProgress = now;
        const double megabytes = static_cast<double>(m_bytesRead.load()) / 1e6;
        const QString line =
            u"\r%1 fichiers, %2 Mo, %3 adresses, %4 Mo/s\x1b[K"_s.arg(m_filesDone.load())
                .arg(megabytes, 0, 'f', 1)
                .arg(m_addresses.load())
                .arg(megabytes / seconds, 0, 'f', 1);
        writeAll(STDERR_FILENO, line.toUtf8());
        m_progressShown = true;
    }

    void clearProgress()
    {
        if (!m_progressShown)
            return;
        m_progressShown = false;
        writeAll(STDERR_FILENO, "\r\x1b[K");
    }

    const CliOptions &m_options;
    std::vector<CliInput> m_inputs;
    std::vector<bool> m_readOk;
    bool m_toFile = false;
    bool m_keepAll = false;
    QString m_terminator;
    int m_jobs = 1;
    bool m_failed = false;
    bool m_closed = false;
    bool m_anyEntry = false;
    qsizetype m_total = 0;
    QString m_fileText;

    // With --unique or --sort: the addresses of every file, in input order, until the end.
    struct Kept
    {
        TextTable addresses;
        std::vector<qsizetype> lines;
        std::size_t file = 0;
    };
    std::vector<Kept> m_kept;

    bool m_progressWanted = false;
    bool m_progressShown = false;
    bool m_stdoutIsTerminal = false;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastProgress;
    std::atomic<qint64> m_bytesRead{0};
    std::atomic<qint64> m_filesDone{0};
    std::atomic<qint64> m_addresses{0};
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
        writeAll(STDERR_FILENO, text.toUtf8());
        return 2;
    }
    if (options.help || options.version) {
        const int error =
            writeAll(STDOUT_FILENO, (options.help ? HelpText() : CliVersionText()).toUtf8());
        return error == 0 || error == EPIPE ? 0 : 1;
    }
    return Runner(options).run();
}
