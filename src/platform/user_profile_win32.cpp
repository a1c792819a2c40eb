// The settings store on Windows: the registry key
// HKEY_CURRENT_USER\Software\<organisation>\<application>\<section>, each setting a REG_DWORD.

#include <windows.h>

#include <charconv>
#include <memory>
#include <system_error>
#include <type_traits>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/profile_store.h"
#include "platform/wide_text.h"

namespace carconv {

namespace {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using KeyHandle = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

class RegistryProfileStore : public ProfileStore {
  public:
    explicit RegistryProfileStore(std::string application) : application_(std::move(application)) {}

    void SetRegistryKey(const std::string& organisation) override { organisation_ = organisation; }

    int GetProfileInt(const std::string& section, const std::string& key,
                      int defaultValue) override {
        HKEY raw = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, WidenUtf8(SectionKey(section)).c_str(), 0,
                          KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) {
            return defaultValue;
        }
        KeyHandle handle(raw);
        const std::wstring name = WidenUtf8(key);
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(raw, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return defaultValue;
        if (type == REG_DWORD && size == sizeof(DWORD)) {
            DWORD value = 0;
            if (RegQueryValueExW(raw, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                 &size) != ERROR_SUCCESS) {
                return defaultValue;
            }
            return static_cast<int>(value);
        }
        // A string typed in by hand counts when it is a whole decimal number.
        if (type == REG_SZ && size <= 64) {
            std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
            if (RegQueryValueExW(raw, name.c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
                return defaultValue;
            }
            std::string narrow = NarrowToUtf8(text.substr(0, text.find(L'\0')));
            int value = 0;
            const char* end = narrow.data() + narrow.size();
            auto [ptr, ec] = std::from_chars(narrow.data(), end, value);
            return (!narrow.empty() && ec == std::errc() && ptr == end) ? value : defaultValue;
        }
        return defaultValue;
    }

    void WriteProfileInt(const std::string& section, const std::string& key, int value) override {
        const std::string path = SectionKey(section);
        HKEY raw = nullptr;
        LONG status =
            RegCreateKeyExW(HKEY_CURRENT_USER, WidenUtf8(path).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &raw, nullptr);
        if (status != ERROR_SUCCESS)
            throw IoError("HKEY_CURRENT_USER\\" + path, "cannot create key: " + Reason(status));
        KeyHandle handle(raw);
        const DWORD data = static_cast<DWORD>(value);
        status = RegSetValueExW(raw, WidenUtf8(key).c_str(), 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&data), sizeof(data));
        if (status != ERROR_SUCCESS) {
            throw IoError("HKEY_CURRENT_USER\\" + path + "\\" + key,
                          "cannot store setting: " + Reason(status));
        }
    }

  private:
    // Software\<organisation>\<application>\<section>; without an organisation
    // Software\<application>\<section>.
    std::string SectionKey(const std::string& section) const {
        std::string path = "Software\\";
        if (!organisation_.empty())
            path += organisation_ + "\\";
        return path + application_ + "\\" + section;
    }

    static std::string Reason(LONG status) {
        return std::system_category().message(static_cast<int>(status)) +
               fmt::format(" (error {})", status);
    }

    std::string application_;
    std::string organisation_;
};

}  // namespace

std::unique_ptr<ProfileStore> MakeUserProfileStore(const std::string& application) {
    return std::make_unique<RegistryProfileStore>(application);
}

}  // namespace carconv
