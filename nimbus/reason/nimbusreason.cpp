#include "nimbusreason.h"

namespace nimbus {

std::string Reason::text() const
{
    if (!message_)
        return std::string();
    std::vector<std::string> texts;
    texts.reserve(arguments_.size());
    for (const Argument& a : arguments_)
        texts.push_back(a.nested ? a.nested->text() : a.text);
    return substitute(message_->english, texts);
}

std::string Reason::substitute(const std::string& pattern, const std::vector<std::string>& texts)
{
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (n < texts.size()) {
                out += texts[n];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace nimbus
