#pragma once
// A file that replaces its target only when complete: bytes go to a temporary file in the
// target's folder; commit() flushes it to disk and renames it over the target. Destroyed
// without commit(), it removes the temporary file and leaves the target untouched.

#include "bitmap/BmpWriter.h"

#include <string>
#include <vector>

namespace tk {

class AtomicFile : public bmp::ByteSink {
public:
    explicit AtomicFile(std::string target);  // throws tk::Error naming the folder
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const uint8_t* bytes, size_t count) override;
    void commit();

private:
    void flushBuffer();
    [[noreturn]] void fail(int errnoValue);

    std::string m_target;
    std::string m_folder;
    std::string m_temporary;
    int m_fd = -1;
    bool m_committed = false;
    std::vector<uint8_t> m_buffer;
};

}  // namespace tk
