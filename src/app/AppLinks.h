#pragma once

#include <QString>

// The names and addresses the splash and about windows show and open. None of them belongs
// to a real company: the addresses are in the example.com domain, kept for documentation.
namespace AppLinks {

inline const QString kDistributorName = QStringLiteral("Emberline Engraving Supply");
inline const QString kDistributorUrl = QStringLiteral("https://emberline.example.com/");
inline const QString kMakerMail = QStringLiteral("makers@pyrolith.example.com");
inline const QString kSupportMail = QStringLiteral("support@emberline.example.com");
inline const QString kCopyrightLine1 = QStringLiteral("Copyright \u00A9 2026 The Pyrolith Makers");
inline const QString kCopyrightLine2 = QStringLiteral("All rights reserved.");

} // namespace AppLinks
