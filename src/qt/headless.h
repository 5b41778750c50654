#pragma once
// Qt set-up for programs that draw without a screen (the command-line tool, tests).

#include <QGuiApplication>

#include <memory>

namespace kestrum::qt {

// A GUI application on the offscreen platform unless the caller chose another, with a private
// runtime folder so that Qt does not complain about a missing one.
std::unique_ptr<QGuiApplication> makeHeadlessApplication();

} // namespace kestrum::qt
