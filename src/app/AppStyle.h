#pragma once

class QLabel;

// The looks that the splash and about windows share.
namespace AppStyle {

// Makes the pictures of the program (icon, logos) available to the windows. The resources live
// in a static library, so they are registered by hand, once, before the first window needs them.
void LoadResources();

// The product name beside the program icon: bold, 24 pixels high.
void SetProductName(QLabel& label);
// "Exclusively Distributed by": bold, italic, underlined.
void SetDistributedByLine(QLabel& label);
// A link: navy, underlined, with the hand cursor.
void SetLink(QLabel& label);

} // namespace AppStyle
