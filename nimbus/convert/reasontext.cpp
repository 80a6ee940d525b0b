#include "reasontext.h"

#include "crsmessages.h"
#include "e57messages.h"
#include "lasmessages.h"
#include "pcdmessages.h"
#include "storemessages.h"
#include "systemerror.h"

#include <QCoreApplication>

#include <iterator>

namespace nimbus {

QString reasonText(const Reason& reason)
{
    if (reason.empty())
        return QString();
    const Message& message = *reason.message();
    const QString pattern = QCoreApplication::translate("Nimbus", message.english, message.comment);
    std::vector<std::string> texts;
    texts.reserve(reason.arguments().size());
    for (const Reason::Argument& a : reason.arguments())
        texts.push_back(a.nested ? reasonText(*a.nested).toStdString() : a.text);
    return QString::fromStdString(Reason::substitute(pattern.toStdString(), texts));
}

QString systemWords(const QString& words)
{
    return reasonText(ownWords(words.toStdString()));
}

std::vector<Message> libraryMessages()
{
    std::vector<Message> all;
    const auto add = [&all](const auto& catalogue) { all.insert(all.end(), std::begin(catalogue), std::end(catalogue)); };
    add(msg::kAll);
    add(las::msg::kAll);
    add(e57::msg::kAll);
    add(pcd::msg::kAll);
    add(crs::msg::kAll);
    add(store::msg::kAll);
    return all;
}

} // namespace nimbus
