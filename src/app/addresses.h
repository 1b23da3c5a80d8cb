// Where the maker can be reached. The tray menu, the About window's buttons
// and its text all use these, so they live in one place.
#pragma once

namespace heftmark {

inline constexpr const char kHomePage[] = "https://tallowgate.example";
inline constexpr const char kSubscribeAddress[] = "heftmark-subscribe@tallowgate.example";

}  // namespace heftmark
