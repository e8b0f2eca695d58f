#pragma once

#include <QString>

namespace quorvex::preview {

// The program's own folder inside the system's temporary folder, readable by this user only
// (mode 0700), made on first use: temporary copies go there, so another user can neither read
// them nor plant a link under their names. A folder of that name that is not ours, not a real
// directory, or open to others is not used; a fresh private folder is made instead.
QString PrivateTempFolder();

}  // namespace quorvex::preview
