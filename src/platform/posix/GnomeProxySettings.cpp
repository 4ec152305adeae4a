#include "platform/posix/GnomeProxySettings.h"

#include "rules/Error.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>

namespace tarnwick {

namespace {

constexpr const char* ModeKey = "mode";
constexpr const char* UrlKey = "autoconfig-url";

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Settings = std::unique_ptr<GSettings, Unref>;

// The value the user set, nothing when the key holds its default.
std::optional<std::string> UserValue(GSettings* settings, const char* key) {
    GVariant* value = g_settings_get_user_value(settings, key);
    if (!value)
        return std::nullopt;
    std::optional<std::string> text;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING))
        text = g_variant_get_string(value, nullptr);
    g_variant_unref(value);
    return text;
}

bool Put(GSettings* settings, GSettingsSchema* schema, const char* key,
         const std::optional<std::string>& text) {
    if (!g_settings_is_writable(settings, key))
        return false;
    if (!text) {
        g_settings_reset(settings, key);
        return true;
    }
    GVariant* value = g_variant_ref_sink(g_variant_new_string(text->c_str()));
    GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema, key);
    // A value outside the key's choices would be refused with a critical warning.
    bool done = g_settings_schema_key_range_check(schemaKey, value) &&
                g_settings_set_value(settings, key, value);
    g_settings_schema_key_unref(schemaKey);
    g_variant_unref(value);
    return done;
}

bool InProcessOnly(GSettingsBackend* backend) {
    const char* type = G_OBJECT_TYPE_NAME(backend);
    return std::strcmp(type, "GMemorySettingsBackend") == 0 ||
           std::strcmp(type, "GNullSettingsBackend") == 0;
}

// Set once dconf, the default backend, was found unable to write for want of a session bus:
// that holds for the rest of the run, so the user hears it once and the other stores go on.
std::atomic<bool> defaultBackendUnwritable{false};

// Why the default backend cannot write at all, or nothing when that is not the cause.
std::optional<std::string> NoSessionBus(GSettingsBackend* backend) {
    if (std::strcmp(G_OBJECT_TYPE_NAME(backend), "DConfSettingsBackend") != 0)
        return std::nullopt;
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus) {
        g_object_unref(bus);
        return std::nullopt;
    }
    std::string why = error && error->message ? error->message : "no address";
    g_clear_error(&error);
    return why;
}

} // namespace

GnomeProxySettings::GnomeProxySettings(std::string schemaId, GSettingsBackend* backend)
    : schemaId_(std::move(schemaId)), backend_(backend) {
    if (backend_)
        g_object_ref(backend_);
}

GnomeProxySettings::~GnomeProxySettings() {
    if (schema_)
        g_settings_schema_unref(schema_);
    if (backend_)
        g_object_unref(backend_);
}

bool GnomeProxySettings::present() {
    if (!schema_) {
        // g_settings_new would abort the program on a machine without the schema.
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        if (!source)
            return false;
        GSettingsSchema* schema = g_settings_schema_source_lookup(source, schemaId_.c_str(), TRUE);
        if (!schema)
            return false;
        if (!g_settings_schema_has_key(schema, ModeKey) ||
            !g_settings_schema_has_key(schema, UrlKey)) {
            g_settings_schema_unref(schema);
            return false;
        }
        schema_ = schema;
    }
    if (backend_)
        return true;
    if (defaultBackendUnwritable)
        return false;
    GSettingsBackend* backend = g_settings_backend_get_default();
    const bool kept = !InProcessOnly(backend);
    g_object_unref(backend);
    return kept;
}

DesktopProxyState GnomeProxySettings::read() {
    const Settings settings(g_settings_new_full(schema_, backend_, nullptr));
    return DesktopProxyState{UserValue(settings.get(), ModeKey), UserValue(settings.get(), UrlKey)};
}

void GnomeProxySettings::write(const DesktopProxyState& state) {
    const Settings settings(g_settings_new_full(schema_, backend_, nullptr));
    const DesktopProxyState before =
        DesktopProxyState{UserValue(settings.get(), ModeKey), UserValue(settings.get(), UrlKey)};
    // The URL first when turning to it, the mode first when turning away from it: a browser
    // that looks in between never finds "auto" with a URL that is not meant for it.
    const bool toAuto = state.mode && *state.mode == "auto";
    const char* order[2] = {toAuto ? UrlKey : ModeKey, toAuto ? ModeKey : UrlKey};
    const char* failed = nullptr;
    for (const char* key : order) {
        const auto& text = key == ModeKey ? state.mode : state.url;
        if (!Put(settings.get(), schema_, key, text)) {
            failed = key;
            break;
        }
    }
    g_settings_sync();
    // Read back: a backend may take a write and drop it (no session bus for dconf, say).
    if (!failed) {
        for (const char* key : order) {
            const auto& text = key == ModeKey ? state.mode : state.url;
            if (UserValue(settings.get(), key) != text) {
                failed = key;
                break;
            }
        }
    }
    if (!failed)
        return;
    Put(settings.get(), schema_, ModeKey, before.mode);
    Put(settings.get(), schema_, UrlKey, before.url);
    g_settings_sync();
    std::string message = "Failed to set data for '" + schemaId_ + " " + failed + "'";
    if (!backend_) {
        GSettingsBackend* backend = g_settings_backend_get_default();
        const std::optional<std::string> why = NoSessionBus(backend);
        g_object_unref(backend);
        if (why) {
            defaultBackendUnwritable = true;
            message += ": the desktop's settings (dconf) are written through the session bus, "
                       "and there is none (" +
                       *why +
                       "). Start Tarnwick in a desktop session; until then it leaves the "
                       "desktop's proxy settings as they are.";
        }
    }
    throw RegistryError(message);
}

DesktopProxyState GnomeProxySettings::pointingAt(const std::string& url) const {
    return DesktopProxyState{std::string("auto"), url};
}

bool GnomeProxySettings::pointsAt(const DesktopProxyState& state, const std::string& url) const {
    return state.mode == "auto" && state.url == url;
}

} // namespace tarnwick
