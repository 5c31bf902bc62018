#pragma once

// The texts the window shows: its caption, its buttons' captions and the
// caption of every message box. The Windows window, the stand-in's console
// window and the end-to-end driver that finds and checks the window all
// take them from here.

namespace stravik {

inline constexpr wchar_t windowCaption[] = L"Remove Halvoran OCX";
inline constexpr wchar_t removeButtonCaption[] = L"Remove Halvoran OCX";
inline constexpr wchar_t exitButtonCaption[] = L"Exit Removal Tool";
inline constexpr wchar_t messageCaption[] = L"Stravik";

}  // namespace stravik
