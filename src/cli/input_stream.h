#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include <QString>

#include "cli/input_list.h"
#include "formats/byte_source.h"
#include "platform/file_descriptor.h"

// The bytes of one input read front to back through its descriptor, a piece at a time: a
// regular file of any size, standard input, a FIFO, /dev/stdin, a process substitution.
class DescriptorSource : public ByteSource
{
public:
    // Opens the input; raises FileOpenError as the window words it (a folder, a missing file, a
    // socket). Standard input is read from descriptor 0, left open.
    DescriptorSource(const CliInput &input, std::atomic<std::int64_t> *bytesRead);

    std::size_t read(char *buffer, std::size_t size) override;

private:
    CliInput m_input;
    FileDescriptor m_owned;
    int m_fd = -1;
    std::atomic<std::int64_t> *m_bytesRead;
};
