#pragma once
// The reasons of the Qt-free libraries in the program's language. Their
// English templates are looked up in the "Nimbus" context of the installed
// translation (the window installs its Chinese one), nested reasons alike;
// without a translation, as on the console, the text is the library's
// English word for word.

#include "nimbusreason.h"

#include <QString>

#include <vector>

namespace nimbus {

QString reasonText(const Reason& reason);
// Words of the system that came as text (Qt's errorString): translated when
// they are one of the system messages, else as they are.
QString systemWords(const QString& words);

// Every message a library below the driver can report (LAS/LAZ, E57, PCD
// and PLY, coordinate systems, the splitter and writer, and the system's
// words), for checking that the window's translation covers them all.
std::vector<Message> libraryMessages();

} // namespace nimbus
