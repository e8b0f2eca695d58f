#pragma once

// Where the program points its users: kept in one place until the product has its own site.
namespace quorvex::app::links {
inline constexpr const char* kHomePage = "https://example.org/quorvex";
inline constexpr const char* kHowToPage = "https://example.org/quorvex/how-to";
inline constexpr const char* kSales = "sales@example.org";
inline constexpr const char* kSupport = "support@example.org";
inline constexpr const char* kLegalNotice = "\u00A9 2026 the Quorvex developers";
inline constexpr const char* kVersionLine = "Quorvex Version 19.7";
}  // namespace quorvex::app::links
