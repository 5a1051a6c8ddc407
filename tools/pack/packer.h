// The packer: turns a TOML description of one application into the
// configuration block behind a copy of the launcher (config.h, package.h),
// and prints such a block back as TOML (dump.h).
#pragma once

#include "config.h"
#include "dump.h"
#include "package.h"
