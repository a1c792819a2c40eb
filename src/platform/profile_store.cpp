#include "platform/profile_store.h"

namespace carconv {

ProfileStore::~ProfileStore() = default;

}  // namespace carconv
