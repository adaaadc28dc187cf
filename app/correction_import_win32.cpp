// "Import Correction...": a headphone correction file fitted to the panel's fifteen bands.
#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <string>

#include "app/curve_features_win32.h"
#include "app/insert_context.h"
#include "curves/correction_fit.h"
#include "curves/correction_import.h"
#include "curves/correction_summary.h"
#include "files/file_io.h"

namespace {

constexpr wchar_t kFilterList[] = L"Correction files (*.txt;*.csv)\0*.txt;*.csv\0All files (*.*)\0*.*\0";
constexpr wchar_t kCaption[] = L"Import Correction";
constexpr uint32_t kMaxCorrectionBytes = 16u << 20;  // real ones are a few kilobytes

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

void Report(HWND owner, const std::wstring& text, UINT icon) { MessageBoxW(owner, text.c_str(), kCaption, MB_OK | icon); }

bool ChooseFile(HWND owner, wchar_t (&path)[1024]) {
  path[0] = L'\0';
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kFilterList;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path;
  dialog.nMaxFile = 1024;
  dialog.lpstrTitle = kCaption;
  dialog.Flags = OFN_HIDEREADONLY | OFN_NONETWORKBUTTON | OFN_ENABLESIZING;
  return GetOpenFileNameW(&dialog) != 0;
}

// The file's bytes, or false with the reason in `error`.
bool ReadCorrectionFile(const wchar_t* path, std::string* text, std::string* error) {
  switch (ReadFileWithin(path, kMaxCorrectionBytes, text)) {
    case FileReadProblem::kNone: return true;
    case FileReadProblem::kMissing:
    case FileReadProblem::kCannotOpen:
      *error = "the file cannot be opened; check that it exists and is not open in another program";
      return false;
    case FileReadProblem::kTooLarge:
      *error = "the file is larger than 16 MB, which is far more than any correction file";
      return false;
    default:
      *error = "the file could not be read to its end";
      return false;
  }
}

}  // namespace

void ImportCorrection(HWND owner) {
  wchar_t path[1024];
  if (!ChooseFile(owner, path)) return;
  GEQ15Filter* filter = g_app.engine.filter;
  if (filter == nullptr) return;

  std::string text, error;
  Correction correction;
  CorrectionFit fit;
  if (!ReadCorrectionFile(path, &text, &error) || !ParseCorrection(text, &correction, &error) ||
      !FitCorrection(correction, CurveDesignRate(), &fit, &error)) {
    Report(owner, L"Cannot import " + std::wstring(path) + L":\n" + Widen(error) + L". Nothing was changed.",
           MB_ICONWARNING);
    return;
  }
  // The bypass switch is the user's, not part of the correction.
  fit.param.bypass = filter->param[0].bypass;
  GEQ15ChannelParam records[kChannelRecords];
  std::memcpy(records, filter->param, sizeof records);
  records[0] = records[1] = fit.param;
  GEQ15_SetParams(&g_app.engine, records);
  InvalidateRect(owner, nullptr, FALSE);
  RefreshResponseWindow();
  Report(owner, Widen(FormatImportSummary(correction, fit)), MB_ICONINFORMATION);
}
