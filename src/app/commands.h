#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kestrum::app {

// Exit codes shared by every command.
enum ExitCode : int { kOk = 0, kUsage = 1, kDamaged = 2 };

using Args = std::span<const std::string_view>;

// "1 object", "3 objects": the count with the word that fits it.
inline std::string counted(long long n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

int infoCommand(Args args);
int renderCommand(Args args);
int checkCommand(Args args);
int viewCommand(Args args);
int convertCommand(Args args);
int iconlibCommand(Args args);
int installPluginCommand(Args args);

} // namespace kestrum::app
