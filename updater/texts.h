#pragma once
// The program's fixed texts and names. Nothing here is configurable: the
// updater reads no configuration and takes no arguments.

namespace updater {

inline constexpr char kAppTitle[] = "Tarnwick升级";
inline constexpr char kInstallCaption[] = "软件升级";
inline constexpr char kRestartCaption[] = "升级成功，重新启动软件";
// A caption containing this puts the button in its restart role.
inline constexpr char kRestartMark[] = "升级成功";
inline constexpr char kWaitingMessage[] = "软件正在升级请稍候...";
inline constexpr char kDownloadFailed[] = "下载失败";

inline constexpr char kMainExecutable[] = "Tarnwick.exe";
inline constexpr char kDownloadFile[] = "bak.exe";
inline constexpr char kMarkerFile[] = "tarn.dat";
inline constexpr char kNewBuildResource[] = "tarnwick.jpg";
inline constexpr char kVersionResource[] = "s_ver.txt";

}  // namespace updater
