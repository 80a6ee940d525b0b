#include "systemerror.h"

#include <cstring>

namespace nimbus {

Reason ownWords(const std::string& text)
{
    for (const Message& m : msg::kAll) {
        if (std::strcmp(m.english, msg::kOwnWords.english) != 0 && text == m.english)
            return Reason(m);
    }
    return Reason(msg::kOwnWords, text);
}

Reason systemError(int errnum)
{
    return ownWords(std::strerror(errnum));
}

Reason systemError(const std::error_code& code)
{
    return ownWords(code.message());
}

} // namespace nimbus
