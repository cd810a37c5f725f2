#include "platform/wayland/GnomeCustomShortcut.h"

#include "base/Log.h"
#include "platform/atspi/GMemory.h"
#include "platform/atspi/GObjectRef.h"
#include "platform/wayland/DesktopShortcutText.h"

#include <QStringList>

// GIO names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace {

constexpr char kListSchema[] = "org.gnome.settings-daemon.plugins.media-keys";
constexpr char kEntrySchema[] = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
constexpr char kListKey[] = "custom-keybindings";

struct SchemaUnref {
    void operator()(GSettingsSchema* s) const { g_settings_schema_unref(s); }
};
using Schema = std::unique_ptr<GSettingsSchema, SchemaUnref>;

struct StrvFree {
    void operator()(gchar** v) const { g_strfreev(v); }
};

Schema lookup(const char* id)
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default(); // not ours
    return Schema(source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr);
}

// The settings of one schema at a path (null for the schema's own); null without the schema,
// which GIO would otherwise answer by ending the process.
GObjectRef<GSettings> open(const char* id, const QString& at = {})
{
    const Schema schema = lookup(id);
    if (!schema) return {};
    const QByteArray p = at.toUtf8();
    return GObjectRef<GSettings>::adopt(g_settings_new_full(schema.get(), nullptr, at.isEmpty() ? nullptr : p.constData()));
}

QStringList list(GSettings* settings)
{
    std::unique_ptr<gchar*, StrvFree> values(g_settings_get_strv(settings, kListKey));
    QStringList out;
    for (gchar** v = values.get(); v && *v; ++v) out << QString::fromUtf8(*v);
    return out;
}

bool setList(GSettings* settings, const QStringList& paths)
{
    std::vector<QByteArray> bytes;
    std::vector<const gchar*> raw;
    for (const QString& p : paths) bytes.push_back(p.toUtf8());
    for (const QByteArray& b : bytes) raw.push_back(b.constData());
    raw.push_back(nullptr);
    return g_settings_set_strv(settings, kListKey, raw.data());
}

QString string(GSettings* settings, const char* key)
{
    GOwned<gchar> value(g_settings_get_string(settings, key));
    return QString::fromUtf8(value.get());
}

} // namespace

namespace GnomeCustomShortcut {

bool isAvailable() { return lookup(kListSchema) && lookup(kEntrySchema); }

bool install(const QString& binding, const QString& command)
{
    GObjectRef<GSettings> listSettings = open(kListSchema);
    GObjectRef<GSettings> entry = open(kEntrySchema, path);
    if (!listSettings || !entry) {
        Log::write(QStringLiteral("GNOME 단축키: 설정 스키마가 없어 등록하지 못함"));
        return false;
    }
    // The entry first: the daemon reads it as soon as the list names it.
    bool written = g_settings_set_string(entry.get(), "name", name.toUtf8().constData())
        && g_settings_set_string(entry.get(), "command", command.toUtf8().constData())
        && g_settings_set_string(entry.get(), "binding", binding.toUtf8().constData());
    QStringList paths = list(listSettings.get());
    if (written && !paths.contains(path)) written = setList(listSettings.get(), paths << path);
    g_settings_sync();
    Log::write(written ? QStringLiteral("GNOME 단축키 %1 등록: %2").arg(binding, command)
                       : QStringLiteral("GNOME 단축키 %1: 설정에 쓰지 못함").arg(binding));
    return written;
}

bool remove()
{
    GObjectRef<GSettings> listSettings = open(kListSchema);
    GObjectRef<GSettings> entry = open(kEntrySchema, path);
    if (!listSettings || !entry) return true; // no schema: nothing of ours can be there
    QStringList paths = list(listSettings.get());
    const bool listed = paths.removeAll(path) > 0;
    bool removed = !listed || setList(listSettings.get(), paths);
    for (const char* key : {"name", "command", "binding"}) g_settings_reset(entry.get(), key);
    g_settings_sync();
    if (listed) Log::write(removed ? QStringLiteral("GNOME 단축키 지움") : QStringLiteral("GNOME 단축키: 목록에서 빼지 못함"));
    return removed;
}

std::optional<QString> heldBy(const QString& binding)
{
    GObjectRef<GSettings> listSettings = open(kListSchema);
    if (!listSettings) return std::nullopt;
    for (const QString& other : list(listSettings.get())) {
        if (other == path || !other.startsWith(QLatin1Char('/')) || !other.endsWith(QLatin1Char('/'))) continue;
        GObjectRef<GSettings> entry = open(kEntrySchema, other);
        if (entry && DesktopShortcutText::sameAccelerator(string(entry.get(), "binding"), binding))
            return string(entry.get(), "name");
    }
    return std::nullopt;
}

std::optional<std::pair<QString, QString>> installed()
{
    GObjectRef<GSettings> listSettings = open(kListSchema);
    GObjectRef<GSettings> entry = open(kEntrySchema, path);
    if (!listSettings || !entry || !list(listSettings.get()).contains(path)) return std::nullopt;
    return std::pair{string(entry.get(), "binding"), string(entry.get(), "command")};
}

} // namespace GnomeCustomShortcut
