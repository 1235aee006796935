#pragma once
// Small types that several controls share.

// A control's frame: none, or a single line.
enum TBorderStyle { bsNone, bsSingle };
