#pragma once

class QLabel;

// The looks that the splash and about windows share.
namespace AppStyle {

// The product name beside the program icon: bold, 24 pixels high.
void SetProductName(QLabel& label);
// "Exclusively Distributed by": bold, italic, underlined.
void SetDistributedByLine(QLabel& label);
// A link: navy, underlined, with the hand cursor.
void SetLink(QLabel& label);

} // namespace AppStyle
