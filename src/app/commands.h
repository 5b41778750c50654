#pragma once

#include <span>
#include <string_view>

namespace kestrum::app {

// Exit codes shared by every command.
enum ExitCode : int { kOk = 0, kUsage = 1, kDamaged = 2 };

using Args = std::span<const std::string_view>;

int infoCommand(Args args);
int renderCommand(Args args);
int checkCommand(Args args);
int viewCommand(Args args);
int convertCommand(Args args);
int iconlibCommand(Args args);
int installPluginCommand(Args args);

} // namespace kestrum::app
