// The tool's version, for its version resource and its log.
#pragma once

#define KV_VERSION_BIN 1, 0, 0, 0
#define KV_VERSION_TEXT "1.0.0.0"
