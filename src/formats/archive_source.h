#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QString>

#include "errors/app_error.h"
#include "formats/byte_source.h"
#include "platform/parallel.h"

struct archive;
struct archive_entry;

// Raised when an input gives more decompressed bytes than it may: it stops the whole input,
// however deep in it the bytes were found.
class ExpandLimitError : public AppError
{
public:
    using AppError::AppError;
};

// The decompressed bytes one input may give, shared by every container found inside it.
class ExpandBudget
{
public:
    ExpandBudget(std::uint64_t limit, QString inputName)
        : m_limit(limit), m_inputName(std::move(inputName))
    {}

    // Raises an ExpandLimitError once more than the limit has been spent.
    void spend(std::size_t bytes);
    std::uint64_t limit() const { return m_limit; }

private:
    std::uint64_t m_limit;
    // Spent by a decompressing thread and by the reader of what it gives at once.
    std::atomic<std::uint64_t> m_used = 0;
    QString m_inputName;
};

// A compressed file or an archive read with libarchive, straight from `outer` through read
// callbacks: nothing touches the disk and only the library's own windows are held.
class ArchiveReader
{
public:
    // A compressed stream is one member, its decompressed content, whatever that holds (an
    // archive inside is told by its own magic bytes, once decompressed); an archive gives its
    // members, under any compression. A 7z archive keeps its directory at its end, where
    // libarchive must seek: it is read into memory first, at most kLargestInMemory bytes.
    enum class Kind { CompressedStream, Archive, ArchiveInMemory };
    static constexpr std::size_t kLargestInMemory = std::size_t{1} << 30;
    ArchiveReader(ByteSource &outer, const QString &shownName, ExpandBudget &budget, Kind kind);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader &) = delete;
    ArchiveReader &operator=(const ArchiveReader &) = delete;

    // Moves to the next member; false at the end. Raises an AppError naming the archive when
    // its bytes cannot be read.
    bool next();

    bool isRaw() const { return m_raw; }
    // The member's path as stored (valid UTF-8), a regular file or not, encrypted or not.
    const QString &path() const { return m_path; }
    bool isRegularFile() const { return m_regular; }
    bool isEncrypted() const { return m_encrypted; }

    // Reads the current member's bytes; 0 at its end. Raises as next() does, and an
    // ExpandLimitError past the budget.
    std::size_t read(char *buffer, std::size_t size);

    // True once this archive itself failed: an error seen afterwards comes from it.
    bool failed() const { return m_failed; }

private:
    static long readCallback(archive *a, void *self, const void **buffer);
    [[noreturn]] void fail();
    void readWhole();

    ByteSource &m_outer;
    QString m_shownName;
    ExpandBudget &m_budget;
    archive *m_archive = nullptr;
    std::vector<char> m_input;
    std::exception_ptr m_pending;
    QString m_path;
    bool m_raw = false;
    bool m_regular = false;
    bool m_encrypted = false;
    bool m_failed = false;
    const char *m_block = nullptr;
    std::size_t m_blockLeft = 0;
    std::uint64_t m_holeLeft = 0;
    std::int64_t m_position = 0;
    bool m_dataEnded = false;
};

// The current member of an ArchiveReader as a source of its own.
class ArchiveMemberSource : public ByteSource
{
public:
    explicit ArchiveMemberSource(ArchiveReader &reader) : m_reader(reader) {}
    std::size_t read(char *buffer, std::size_t size) override
    {
        return m_reader.read(buffer, size);
    }

private:
    ArchiveReader &m_reader;
};

// Reads `inner` ahead on a thread of its own, a few pieces at most, so that decompressing and
// what the reader does with the text share the cores as `gzip -dc | ...` would. A fault of
// `inner` is raised by read() once the bytes before it were given. When no thread can start,
// read() reads `inner` itself.
class ReadAheadSource : public ByteSource
{
public:
    explicit ReadAheadSource(ByteSource &inner);
    // Stops the thread, even in the middle of the input.
    ~ReadAheadSource() override;
    ReadAheadSource(const ReadAheadSource &) = delete;
    ReadAheadSource &operator=(const ReadAheadSource &) = delete;

    std::size_t read(char *buffer, std::size_t size) override;

private:
    void fill();

    static constexpr std::size_t kPieces = 4;
    ByteSource &m_inner;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<char>> m_full;   // guarded by m_mutex
    std::vector<std::vector<char>> m_empty; // guarded by m_mutex
    bool m_ended = false;                   // guarded by m_mutex
    bool m_stop = false;                    // guarded by m_mutex
    std::exception_ptr m_fault;             // guarded by m_mutex
    std::vector<char> m_current;            // the consumer's piece
    std::size_t m_at = 0;
    // Last: the thread stops before the members it uses go.
    std::optional<BackgroundWork> m_filler;
};
