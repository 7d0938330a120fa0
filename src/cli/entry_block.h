#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QByteArray>
#include <QString>

// Entries found in one stretch of an input, on their way from a worker to the ordered output.
struct EntryBlock
{
    QByteArray name;                 // the name shown for them: the input's, or its member's
    std::string text;                // the entries in UTF-8, each followed by '\n'
    std::vector<std::int64_t> lines; // the line of each entry, with --source
    QString warning;                 // set: a fault to tell at this point, and no entries
};

// Takes the blocks of one input in order. push() may wait while the output is busy with the
// inputs before this one, and raises OutputStopped once the output is closed.
class BlockSink
{
public:
    virtual ~BlockSink() = default;
    virtual void push(EntryBlock &&block) = 0;
};

struct OutputStopped
{};
