// Messages of the failure family, in Shift-JIS (this file is compiled with a CP932 execution charset).
#include "base/failure.h"

#include <new>

#include "base/sjis.h"

EOutOfMemory::EOutOfMemory() : Exception("メモリが不足しています") {}

EReadError::EReadError() : EStreamError("ストリームからの読み込みエラー") {}

EWriteError::EWriteError() : EStreamError("ストリームへの書き込みエラー") {}

// The file name is a path as the system names it.
EFCreateError::EFCreateError(const std::string& fileName)
    : EStreamError(OwnText("ファイル ") + SystemText(fileName) + OwnText(" を作成できません")) {}

EResNotFound::EResNotFound(const std::string& resourceName)
    : Exception(resourceName + " リソースが見つかりません") {}

ERegistryException ERegistryException::ReadFailed(const std::string& valueName) {
  return ERegistryException("'" + valueName + "' の取得に失敗しました");
}

ERegistryException ERegistryException::InvalidType(const std::string& valueName) {
  return ERegistryException("'" + valueName + "' のデータ型が不正です");
}

ERegistryException ERegistryException::CreateKeyFailed(const std::string& keyName) {
  return ERegistryException("キー " + keyName + " の作成に失敗しました");
}

ERegistryException ERegistryException::SetFailed(const std::string& valueName) {
  return ERegistryException("'" + valueName + "' の設定に失敗しました");
}

namespace {

std::string InOutMessage(int code) {
  switch (code) {
    case 2: return "ファイルが見つかりません";
    case 3: return "不正なファイル名です";
    case 4: return "オープンしたファイルが多すぎます";
    case 5: return "ファイルへのアクセスが拒否されました";
    case 100: return "ファイルの末尾以降を読み込みました";
    case 101: return "ディスクがいっぱいです";
    case 106: return "入力値が数値ではありません";
    default: return "I/O エラー (" + std::to_string(code) + ")";
  }
}

}  // namespace

EInOutError::EInOutError(int errorCode) : Exception(InOutMessage(errorCode)), errorCode_(errorCode) {}

EUnspellableFolder::EUnspellableFolder(const ShownText& name)
    : Exception(OwnText("ディレクトリ ") + name +
                OwnText(" の名前はこのシステムの文字コードで表せないため、開くことができません。"
                        "ゲームもこのディレクトリでは動作しません")) {}

EDirCreateError::EDirCreateError() : Exception("ディレクトリを作成できません") {}

EClipboardException::EClipboardException() : Exception("クリップボードを開くことができません") {}

namespace {

// The platform ends its messages with a line break (and sometimes a space); the box does not.
std::string WithoutTrailingBreak(std::string text) {
  while (!text.empty()) {
    std::string_view last = sjis::LastChar(text);
    if (last != "\r" && last != "\n" && last != " ") break;
    text.pop_back();
  }
  return text;
}

ShownText PlatformText(unsigned long code, const std::string& platformMessage) {
  // Code 0 reads "completed successfully": no text for a refusal that left no reason.
  std::string text = code == 0 ? std::string() : WithoutTrailingBreak(platformMessage);
  if (text.empty()) return OwnText("システム エラー (" + std::to_string(code) + ")");
  return SystemText(text);
}

}  // namespace

EPlatformError::EPlatformError(unsigned long errorCode, const std::string& platformMessage)
    : Exception(PlatformText(errorCode, platformMessage)), errorCode_(errorCode) {}

EUnexpected::EUnexpected() : Exception("予期しないエラーが発生しました") {}

void ReportCurrentFailure(const TFailureSink& report) {
  try {
    throw;
  } catch (const Exception& failure) {
    report(failure);
  } catch (const std::bad_alloc&) {
    report(EOutOfMemory());
  } catch (...) {
    report(EUnexpected());
  }
}

bool RunGuarded(const std::function<void()>& steps, const TFailureSink& report) {
  try {
    steps();
    return true;
  } catch (...) {
    ReportCurrentFailure(report);
    return false;
  }
}
