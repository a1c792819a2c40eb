#pragma once

// The per-user settings store: integers by section and key, kept under an organisation key and
// the application's name.

#include <memory>
#include <string>
#include <vector>

namespace carconv {

class ProfileStore {
  public:
    virtual ~ProfileStore();
    // Names the organisation under which the application's settings are kept.
    virtual void SetRegistryKey(const std::string& organisation) = 0;
    // The stored value, or `defaultValue` when there is none or it is not a number.
    virtual int GetProfileInt(const std::string& section, const std::string& key,
                              int defaultValue) = 0;
    // Stores `value`; throws IoError when it cannot be stored.
    virtual void WriteProfileInt(const std::string& section, const std::string& key, int value) = 0;
};

#ifndef _WIN32
// One setting of an INI file.
struct IniItem {
    std::string section;
    std::string key;
    std::string value;
};

// Settings in an INI file: <configDirectory>/<organisation>/<application>.ini. POSIX only: the
// INI parser it uses has no Windows build, and Windows keeps settings in the registry. A file
// with malformed lines does not stop the program: what can be read is read, the rest counts as
// absent, the first malformed line is reported as a warning (once per store), and the next write
// writes the file anew from what was read.
class IniProfileStore : public ProfileStore {
  public:
    IniProfileStore(std::string configDirectory, std::string application);
    void SetRegistryKey(const std::string& organisation) override;
    int GetProfileInt(const std::string& section, const std::string& key,
                      int defaultValue) override;
    void WriteProfileInt(const std::string& section, const std::string& key, int value) override;
    std::string FilePath() const;

  private:
    std::vector<IniItem> ReadItems(const std::string& path);

    std::string configDirectory_;
    std::string application_;
    std::string organisation_;
    bool warnedMalformed_ = false;
};
#endif

// The store this platform uses for `application` (the executable's base name). On Linux an INI
// file under $XDG_CONFIG_HOME (default ~/.config); on Windows the registry, under
// HKEY_CURRENT_USER\Software\<organisation>\<application>\<section>, values as REG_DWORD.
std::unique_ptr<ProfileStore> MakeUserProfileStore(const std::string& application);

}  // namespace carconv
