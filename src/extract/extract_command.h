#pragma once

#include "extract/text_table.h"

// The tokens of every entry, in order, that contain "@", each an exact copy of its token.
TextTable ExtractAddresses(const TextTable &entries);
