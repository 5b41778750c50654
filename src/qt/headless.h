#pragma once
// Qt set-up for programs that draw without a screen (the command-line tool, tests).

#include <QApplication>

#include <memory>

namespace kestrum::qt {

// The process's application object on the offscreen platform (unless the caller chose another),
// with a private runtime folder so that Qt does not complain about a missing one. Every caller
// shares one object: Qt allows a single application per process. Null when an application made
// elsewhere already exists (it is then used as it is).
std::shared_ptr<QApplication> makeHeadlessApplication();

} // namespace kestrum::qt
