// The Slots Monitor page, built into the program from assets/page.
#pragma once

#include <array>
#include <string_view>

#include "text/output.h"

namespace slots {

/// The page's ten pieces, in the order they are written: the head with its
/// header lines, the theme bootstrap, "<style>\n", the token styles, "\n", the
/// component styles, "</style></head><body>\n", the body markup with the
/// monitor script, the theme bridge and "</body></html>\n". Generated at build
/// time from the files under assets/page.
extern const std::array<std::string_view, 10> kPagePieces;

/// Writes the page: the ten pieces, each whole, with nothing between them.
void write_page(text::Output& out);

}  // namespace slots
