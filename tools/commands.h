// The commands of the vrt tool, one per file; vrt.cpp lists them in order.
#pragma once

#include "cli.h"

namespace vrt::cli {

extern const Command kHashCommand;      // cmd_hash.cpp
extern const Command kHmacCommand;      // cmd_hmac.cpp
extern const Command kMacCommand;       // cmd_mac.cpp
extern const Command kGenkeyCommand;    // cmd_keys.cpp
extern const Command kPubkeyCommand;    // cmd_keys.cpp
extern const Command kSignCommand;      // cmd_sign.cpp
extern const Command kVerifyCommand;    // cmd_sign.cpp
extern const Command kDeriveCommand;    // cmd_derive.cpp
extern const Command kEncryptCommand;   // cmd_crypt.cpp
extern const Command kDecryptCommand;   // cmd_crypt.cpp
extern const Command kSelftestCommand;  // cmd_info.cpp
extern const Command kVersionCommand;   // cmd_info.cpp

}  // namespace vrt::cli
