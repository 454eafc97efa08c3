#include "storage/Failure.h"

#include <utility>

namespace storage {

Failure::Failure(int errnoValue, std::string path)
    : std::system_error(errnoValue, std::generic_category(), path), m_path(std::move(path)) {}

Failure::Failure(Refusal refusal, int errnoValue, std::string path, std::string words)
    : std::system_error(errnoValue, std::generic_category(), path), m_path(std::move(path)), m_refusal(refusal),
      m_words(std::move(words)) {}

}  // namespace storage
