#pragma once

// A program check box's state. The station file stores each as its digit,
// 0, 1 or 2 (stationformat.h).
enum class BoxState { Unchecked = 0, Checked = 1, Grayed = 2 };
