#pragma once
// How the storage floor fails: a std::system_error carrying the errno value and the path it
// concerns. Most failures are the system's own (its errno says it all); a refusal of the
// program's own (a planted link, a socket, a pipe nobody reads, a file that is no picture) also
// carries its words, a template with "%1" where the path goes. The toolkit turns either into
// its error number and message (tk::errorOf), in one place.

#include <string>
#include <system_error>

namespace storage {

enum class Refusal {
    None,         // the system's error: the errno value and the path say it
    Denied,       // "Permission denied: ...": not allowed by the program's own rules
    Access,       // "Path/File access error: ...": a node a picture is not written to
    NotAPicture,  // "Invalid picture: ...": a file that cannot be read as a bitmap
    OutOfMemory,  // no memory for what the file needs
};

class Failure : public std::system_error {
public:
    // The system's error errnoValue about path.
    Failure(int errnoValue, std::string path);
    // A refusal; words hold "%1" where the path is to be shown.
    Failure(Refusal refusal, int errnoValue, std::string path, std::string words);

    int errnoValue() const { return code().value(); }
    const std::string& path() const { return m_path; }
    Refusal refusal() const { return m_refusal; }
    const std::string& words() const { return m_words; }

private:
    std::string m_path;
    Refusal m_refusal = Refusal::None;
    std::string m_words;
};

}  // namespace storage
