#pragma once
// Why something failed (or what is worth a remark), as the Qt-free libraries
// report it: one message of a catalogue, an English template in which %1 to
// %9 stand for the arguments, and those arguments, each plain text (a
// number, a name, a path) or a reason of its own. The English is formatted in
// one place, text(); a program that speaks another language looks the
// template up in its translation and puts the same arguments into that (the
// converter does, in reasontext.h), so the libraries stay free of any
// translation machinery and their English stays as it is.
// (Not "reason.h": the Windows headers include one of their own by that name.)

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace nimbus {

// One entry of a catalogue; declared only through NIMBUS_DECLARE_MESSAGES.
// `comment` tells apart two messages of the same English (a translation is
// looked up by both).
struct Message {
    const char* english;
    const char* comment = nullptr;
};

// Declares the messages listed by LIST (a macro taking X and giving
// X(name, "English template") or X(name, "English template", "comment") for
// each) as constants, and every one of them, in order, as `kAll`, the list
// translations are checked against.
#define NIMBUS_MESSAGE_CONSTANT(name, ...) inline constexpr ::nimbus::Message name{__VA_ARGS__};
#define NIMBUS_MESSAGE_ELEMENT(name, ...) name,
#define NIMBUS_DECLARE_MESSAGES(LIST)                                                                      \
    LIST(NIMBUS_MESSAGE_CONSTANT)                                                                          \
    inline constexpr ::nimbus::Message kAll[] = {LIST(NIMBUS_MESSAGE_ELEMENT)};

class Reason {
public:
    // An argument: plain text, or a nested reason when `nested` is set.
    struct Argument {
        std::string text;
        std::shared_ptr<const Reason> nested;
    };

    // No reason: nothing failed.
    Reason() = default;

    template <typename... Args>
    explicit Reason(const Message& message, const Args&... args) : message_(&message)
    {
        arguments_.reserve(sizeof...(Args));
        (arguments_.push_back(argument(args)), ...);
    }

    bool empty() const { return message_ == nullptr; }
    // The catalogue entry; null for an empty reason.
    const Message* message() const { return message_; }
    const std::vector<Argument>& arguments() const { return arguments_; }

    // The reason in English; empty for an empty reason.
    std::string text() const;

    // Puts `texts` into `pattern`: each %1 to %9 becomes the text of that
    // number; a % followed by anything else, or by the number of a text that
    // is not there, stays as it is. Reasons and their translations are
    // formatted alike by this rule (all UTF-8).
    static std::string substitute(const std::string& pattern, const std::vector<std::string>& texts);

private:
    static Argument argument(const std::string& text) { return Argument{text, nullptr}; }
    static Argument argument(const char* text) { return Argument{text, nullptr}; }
    static Argument argument(std::string_view text) { return Argument{std::string(text), nullptr}; }
    static Argument argument(const Reason& reason)
    {
        return Argument{std::string(), std::make_shared<const Reason>(reason)};
    }
    template <typename Number, typename = std::enable_if_t<std::is_integral_v<Number>>>
    static Argument argument(Number n)
    {
        return Argument{std::to_string(n), nullptr};
    }

    const Message* message_ = nullptr; // catalogue entries live as long as the program
    std::vector<Argument> arguments_;
};

} // namespace nimbus
