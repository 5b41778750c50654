#include "dc_config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

namespace kestrum::app {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");
// A place in the text: int in Qt 5, qsizetype in Qt 6.
using Pos = decltype(QString().size());

const QString kIndentUnit = QStringLiteral("  "); // as Double Commander writes its files

// An element's place in the text: [begin, end) covers it whole; its start tag ends at startEnd
// (equal to end for an empty element such as <WlxPlugins/>).
struct Element {
    QString name;
    Pos begin = 0, startEnd = 0, end = 0;
    bool isEmpty() const { return startEnd == end; }
};

struct Layout {
    Element root;
    // The first of each: the ones Double Commander reads.
    std::optional<Element> plugins, wlxPlugins;
    std::vector<Element> ours; // WlxPlugin entries naming our module, in file order
};

bool sameModule(const QString& name, const QString& path, const WlxPluginEntry& plugin) {
    // Paths may carry Double Commander's macros (%commander_path%); the file name is enough.
    const QString ourFile = QFileInfo(plugin.path).fileName();
    const QString file = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return (!name.isEmpty() && name.compare(plugin.name, Qt::CaseInsensitive) == 0) ||
           (!ourFile.isEmpty() && file.compare(ourFile, Qt::CaseInsensitive) == 0);
}

// QXmlStreamReader reports where a token ends but may have read a character of the next one
// already, so a tag's beginning is found as the '<' before its end: a tag holds no other '<'.
std::optional<Layout> locate(const QString& text, const WlxPluginEntry& plugin, QString& error) {
    enum class Role { Other, Root, Plugins, WlxPlugins, WlxPlugin, Name, Path };
    struct Open {
        Element element;
        Role role;
        QString name, path; // of a WlxPlugin: the texts of its Name and Path
    };
    std::vector<Open> open;
    Layout layout;
    bool rootSeen = false;
    QXmlStreamReader reader(text);
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.hasError()) break;
        if (reader.tokenType() == QXmlStreamReader::DTD && !reader.entityDeclarations().isEmpty()) {
            // Expanded entities would put elements where the text does not have them.
            error = QStringLiteral("declares entities, which Double Commander never writes");
            return std::nullopt;
        }
        const auto at = static_cast<Pos>(reader.characterOffset());
        if (reader.isStartElement()) {
            const Pos begin = at > 0 ? text.lastIndexOf(QLatin1Char('<'), at - 1) : -1;
            if (begin < 0 || text[at - 1] != QLatin1Char('>')) {
                error = QStringLiteral("cannot place an element ending at character %1").arg(at);
                return std::nullopt;
            }
            const QString name = reader.name().toString();
            const Role parent = open.empty() ? Role::Other : open.back().role;
            Role role = Role::Other;
            if (open.empty() && !rootSeen)
                role = Role::Root, rootSeen = true;
            else if (parent == Role::Root && name == QLatin1String("Plugins") && !layout.plugins)
                role = Role::Plugins, layout.plugins = Element{};
            else if (parent == Role::Plugins && name == QLatin1String("WlxPlugins") && !layout.wlxPlugins)
                role = Role::WlxPlugins, layout.wlxPlugins = Element{};
            else if (parent == Role::WlxPlugins && name == QLatin1String("WlxPlugin"))
                role = Role::WlxPlugin;
            else if (parent == Role::WlxPlugin && name == QLatin1String("Name"))
                role = Role::Name;
            else if (parent == Role::WlxPlugin && name == QLatin1String("Path"))
                role = Role::Path;
            open.push_back({{name, begin, at, at}, role, {}, {}});
        } else if (reader.isCharacters() && open.size() >= 2) {
            Open& entry = open[open.size() - 2];
            if (open.back().role == Role::Name)
                entry.name += reader.text();
            else if (open.back().role == Role::Path)
                entry.path += reader.text();
        } else if (reader.isEndElement()) {
            Open o = std::move(open.back());
            open.pop_back();
            o.element.end = at;
            switch (o.role) {
            case Role::Root:
                layout.root = o.element;
                break;
            case Role::Plugins:
                layout.plugins = o.element;
                break;
            case Role::WlxPlugins:
                layout.wlxPlugins = o.element;
                break;
            case Role::WlxPlugin:
                if (sameModule(o.name.trimmed(), o.path.trimmed(), plugin)) layout.ours.push_back(o.element);
                break;
            default:
                break;
            }
        }
    }
    if (reader.hasError()) {
        error = QStringLiteral("not well-formed XML at line %1, column %2: %3")
                    .arg(reader.lineNumber())
                    .arg(reader.columnNumber())
                    .arg(reader.errorString().remove(QRegularExpression(QStringLiteral("\\.$"))));
        return std::nullopt;
    }
    if (layout.root.name != QLatin1String("doublecmd")) {
        error = layout.root.name.isEmpty()
                    ? QStringLiteral("holds no XML element")
                    : QStringLiteral("not a Double Commander configuration: its root element is <%1>, not "
                                     "<doublecmd>")
                          .arg(layout.root.name);
        return std::nullopt;
    }
    return layout;
}

QString escaped(const QString& s) {
    QString out = s.toHtmlEscaped(); // &, <, >, "
    return out.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
}

// Markup that starts where the caller puts it; `indent` is its first line's indentation, which
// every following line repeats.
using Markup = std::function<QString(const QString& indent)>;

Markup entryMarkup(const WlxPluginEntry& plugin) {
    return [plugin](const QString& indent) {
        const QString in = indent + kIndentUnit;
        return QStringLiteral("<WlxPlugin Enabled=\"True\">\n") + in + QStringLiteral("<Name>") +
               escaped(plugin.name) + QStringLiteral("</Name>\n") + in + QStringLiteral("<Path>") +
               escaped(plugin.path) + QStringLiteral("</Path>\n") + in + QStringLiteral("<DetectString>") +
               escaped(plugin.detectString) + QStringLiteral("</DetectString>\n") + indent +
               QStringLiteral("</WlxPlugin>");
    };
}

Markup sectionMarkup(const QString& name, const Markup& child) {
    return [name, child](const QString& indent) {
        const QString in = indent + kIndentUnit;
        return QLatin1Char('<') + name + QStringLiteral(">\n") + in + child(in) + QLatin1Char('\n') + indent +
               QStringLiteral("</") + name + QLatin1Char('>');
    };
}

// The whitespace from the start of the line to `pos`, or nothing when other text comes first.
QString indentAt(const QString& text, Pos pos) {
    Pos i = pos;
    while (i > 0 && (text[i - 1] == QLatin1Char(' ') || text[i - 1] == QLatin1Char('\t')))
        --i;
    return i == 0 || text[i - 1] == QLatin1Char('\n') ? text.mid(i, pos - i) : QString();
}

struct Splice {
    Pos begin, end;
    QString with;
};

// Puts `child` as the last child of `parent`, on a line of its own.
Splice appendChild(const QString& text, const Element& parent, const Markup& child) {
    const QString indent = indentAt(text, parent.begin);
    const QString in = indent + kIndentUnit;
    if (parent.isEmpty()) {
        // <WlxPlugins/> becomes <WlxPlugins>...</WlxPlugins>, its attributes kept.
        QString startTag = text.mid(parent.begin, parent.end - parent.begin);
        startTag.chop(2); // "/>"
        while (!startTag.isEmpty() && startTag.back().isSpace())
            startTag.chop(1);
        return {parent.begin, parent.end,
                startTag + QStringLiteral(">\n") + in + child(in) + QLatin1Char('\n') + indent +
                    QStringLiteral("</") + parent.name + QLatin1Char('>')};
    }
    const Pos endTag = text.lastIndexOf(QLatin1Char('<'), parent.end - 1);
    const QString endIndent = indentAt(text, endTag);
    if (endTag - endIndent.size() > 0 && text[endTag - endIndent.size() - 1] == QLatin1Char('\n'))
        return {endTag - endIndent.size(), endTag - endIndent.size(), in + child(in) + QLatin1Char('\n')};
    return {endTag, endTag, QLatin1Char('\n') + in + child(in) + QLatin1Char('\n') + indent};
}

// The span that removes an element together with its line when nothing else is on that line.
Splice removal(const QString& text, const Element& e) {
    Pos begin = e.begin, end = e.end;
    const QString indent = indentAt(text, begin);
    Pos after = end;
    while (after < text.size() && (text[after] == QLatin1Char(' ') || text[after] == QLatin1Char('\t') ||
                                   text[after] == QLatin1Char('\r')))
        ++after;
    const bool lineStart = begin - indent.size() == 0 || text[begin - indent.size() - 1] == QLatin1Char('\n');
    if (lineStart && after < text.size() && text[after] == QLatin1Char('\n')) {
        begin -= indent.size();
        end = after + 1;
    }
    return {begin, end, {}};
}

} // namespace

ConfigEdit editWlxPlugins(const QByteArray& config, ConfigAction action, const WlxPluginEntry& plugin) {
    ConfigEdit edit;
    const bool bom = config.startsWith(kUtf8Bom);
    const QByteArray bytes = bom ? config.mid(kUtf8Bom.size()) : config;
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) {
        edit.error = QStringLiteral("not UTF-8 text");
        return edit;
    }
    const std::optional<Layout> layout = locate(text, plugin, edit.error);
    if (!layout) return edit;

    std::vector<Splice> splices;
    const auto& ours = layout->ours;
    if (action == ConfigAction::Register) {
        const Markup entry = entryMarkup(plugin);
        if (!ours.empty()) {
            const Element& first = ours.front();
            splices.push_back({first.begin, first.end, entry(indentAt(text, first.begin))});
            for (std::size_t i = 1; i < ours.size(); ++i)
                splices.push_back(removal(text, ours[i]));
            edit.change = ConfigChange::Replaced;
        } else {
            if (layout->wlxPlugins)
                splices.push_back(appendChild(text, *layout->wlxPlugins, entry));
            else if (layout->plugins)
                splices.push_back(
                    appendChild(text, *layout->plugins, sectionMarkup(QStringLiteral("WlxPlugins"), entry)));
            else
                splices.push_back(
                    appendChild(text, layout->root,
                                sectionMarkup(QStringLiteral("Plugins"),
                                              sectionMarkup(QStringLiteral("WlxPlugins"), entry))));
            edit.change = ConfigChange::Added;
        }
    } else {
        for (const Element& e : ours)
            splices.push_back(removal(text, e));
        edit.change = ours.empty() ? ConfigChange::Unchanged : ConfigChange::Removed;
    }

    std::sort(splices.begin(), splices.end(),
              [](const Splice& a, const Splice& b) { return a.begin > b.begin; });
    QString result = text;
    for (const Splice& s : splices)
        result.replace(s.begin, s.end - s.begin, s.with);
    edit.text = (bom ? kUtf8Bom : QByteArray()) + result.toUtf8();
    if (edit.text == config) edit.change = ConfigChange::Unchanged;
    return edit;
}

QByteArray newConfigWith(const WlxPluginEntry& plugin) {
    const Markup doc =
        sectionMarkup(QStringLiteral("doublecmd"),
                      sectionMarkup(QStringLiteral("Plugins"),
                                    sectionMarkup(QStringLiteral("WlxPlugins"), entryMarkup(plugin))));
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + doc(QString()) +
            QLatin1Char('\n'))
        .toUtf8();
}

namespace {

QString writeWhole(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path); // a temporary file renamed over `path` on commit
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

} // namespace

ConfigFileResult applyToConfigFile(const QString& path, ConfigAction action, const WlxPluginEntry& plugin) {
    ConfigFileResult result;
    const QFileInfo info(path);
    // A configuration kept elsewhere (dotfiles) stays a link to its file.
    const QString target = info.isSymLink() ? info.symLinkTarget() : path;
    QByteArray before, after;
    if (!QFileInfo::exists(target)) {
        if (action == ConfigAction::Unregister) return result;
        if (!QDir().mkpath(QFileInfo(target).absolutePath())) {
            result.error =
                QStringLiteral("cannot create the folder %1").arg(QFileInfo(target).absolutePath());
            return result;
        }
        after = newConfigWith(plugin);
        result.change = ConfigChange::Added;
        result.created = true;
    } else {
        QFile file(target);
        if (!file.open(QIODevice::ReadOnly)) {
            result.error = QStringLiteral("cannot read: %1").arg(file.errorString());
            return result;
        }
        before = file.readAll();
        ConfigEdit edit = editWlxPlugins(before, action, plugin);
        if (!edit.error.isEmpty()) {
            result.error = edit.error;
            return result;
        }
        if (edit.change == ConfigChange::Unchanged) return result;
        after = std::move(edit.text);
        result.change = edit.change;
        const QString backup = path + QStringLiteral(".bak");
        if (const QString why = writeWhole(backup, before); !why.isEmpty()) {
            result.error = QStringLiteral("cannot write the backup %1: %2").arg(backup, why);
            return result;
        }
        result.backup = backup;
    }
    if (const QString why = writeWhole(target, after); !why.isEmpty()) {
        result.error = QStringLiteral("cannot write: %1").arg(why);
        result.change = ConfigChange::Unchanged;
    }
    return result;
}

} // namespace kestrum::app
