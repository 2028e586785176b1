#pragma once
// The music window and the colour palette window as modal dialogs, each
// with a control host of its own so its controls reach its own logic. A close
// from the window manager counts as the close button (result 0).
#include <QSize>
#include <cstdint>
#include <optional>

#include "music/MusicStyles.h"
#include "qt/Dialogs.h"

namespace m470::qt {

inline constexpr QSize kMusicWindowSize{369, 276};

// The styles as the user left them when the window closed with 1.
std::optional<MusicStyles> RunMusicWindow(const DialogContext& context, const MusicStyles& styles);
// The colour taken with "okbtn", from a window opened on colour.
std::optional<uint32_t> RunPaletteWindow(const DialogContext& context, uint32_t colour);

}  // namespace m470::qt
