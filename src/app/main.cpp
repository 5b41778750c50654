// kestrum: the command-line face of the map viewer.

#include "dispatch.h"

namespace {

using kestrum::app::Command;

constexpr Command kCommands[] = {
    {"info", "print a map's header, dictionaries and objects", kestrum::app::infoCommand},
    {"render", "draw a map into a PNG or JPEG picture", kestrum::app::renderCommand},
    {"view", "open a map in the viewer window", kestrum::app::viewCommand},
    {"check", "draw every object once and log those that cannot be drawn", kestrum::app::checkCommand},
    {"convert", "write a .mp, .mif or older .map as a version-14 .map", kestrum::app::convertCommand},
    {"iconlib", "pack bitmaps into an icon library file, or list one", kestrum::app::iconlibCommand},
    {"install-plugin", "register the lister plug-in in Double Commander's configuration",
     kestrum::app::installPluginCommand},
};

} // namespace

int main(int argc, char** argv) {
    return kestrum::app::dispatch(kCommands, std::vector<std::string_view>(argv + 1, argv + argc));
}
