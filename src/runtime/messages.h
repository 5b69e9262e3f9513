// Message texts of the runtime layer, kept together so tests can compare them.
#pragma once

namespace qv::messages {

inline constexpr char kInvalidBitmap[] = "ビットマップイメージが不正です";
inline constexpr char kInvalidPixelFormat[] = "画像フォーマットが不正です";
inline constexpr char kScanLineOutOfRange[] = "スキャンライン のインデックスが範囲を越えました";
inline constexpr char kReadError[] = "ストリームの読み込みエラー";
inline constexpr char kWriteError[] = "ストリームの書き込みエラー";
inline constexpr char kOutOfMemory[] = "メモリが足りません";
inline constexpr char kOperationAborted[] = "操作は中止されました";
inline constexpr char kAssertionFailure[] = "Assertion failure";
// "%s (%s, %d 行)": assertion text, module, line.
inline constexpr char kAssertFormat[] = "%s (%s, %d 行)";
// File name, then the system's reason.
inline constexpr char kFOpenError[] = "ファイル \"%s\". %s を開けません";
inline constexpr char kFCreateError[] = "ファイル \"%s\". %s を作成できません";
inline constexpr char kFWriteError[] = "ファイル \"%s\". %s に書き込めません";

}  // namespace qv::messages
