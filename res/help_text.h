#pragma once
// The Russian help text of the instructions window: twelve lines, each
// ended by CR LF.

#include <string_view>

extern const std::u16string_view kHelpText;
