#pragma once

#include <QString>

// A folder that marks itself as a cache: a file CACHEDIR.TAG whose first bytes are the
// agreed signature. Backup programs leave such folders out; what they hold can be made
// again.
namespace CacheDirTag {

inline constexpr char fileName[] = "CACHEDIR.TAG";

bool isTagged(const QString& folder);

} // namespace CacheDirTag
