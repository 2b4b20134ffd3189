// The pages after the work: page 2 (TFrameInstallDone, completion, starts the product), page 6
// (TFrameRetry, a recoverable failure), page 7 (TFrameAborted, an unexpected failure with the identifier
// to quote to support), page 9 (TFrameUpdateInstaller, this installer is no longer supported) and page 0
// (TFrameCloseQuillon, an empty alert page nothing asks for).
#pragma once

#include <memory>
#include <string>

#include "controls/NativeControlsU.h"
#include "wizard/FrameBaseU.h"

namespace sf {

// Page 2.
class TFrameInstallDone : public TFrameBase {
 public:
  explicit TFrameInstallDone(TSetupForm& form);
  ~TFrameInstallDone() override;
  void SetParentForm() override;
  void Translate() override;

 private:
  void btnOpenClick();

  TImage imgLines;
  TImage imgLogo;
  TGradientBitBtn btnOpen;
  TLabel lblProgress;
  bool m_bOpenRequested = false;
};

// Page 6.
class TFrameRetry : public TFrameBase {
 public:
  explicit TFrameRetry(TSetupForm& form);
  ~TFrameRetry() override;
  void Translate() override;
  void WMSetRetryMsg(const std::wstring& text);

 private:
  void btnRetryClick();
  void lblConfigInternetClick();

  TGradientBitBtn btnRetry;
  TImage imgAlert;
  TLabel lblAlert;
  TLabel lblConfigInternet;
};

// Page 7.
class TFrameAborted : public TFrameBase {
 public:
  explicit TFrameAborted(TSetupForm& form);
  ~TFrameAborted() override;
  // The texts come with the notification; the button reads "OK" in every language.
  void Translate() override {}
  void WMSetAbortMsg(const std::wstring& text, const std::wstring& identifier);

  const std::wstring& AlertText() const { return lblAlert.Caption(); }
  std::wstring IdentifierText() const;

 private:
  void btnOKClick();

  TGradientBitBtn btnOK;
  TImage imgAlert;
  TLabel lblAlert;
  std::unique_ptr<TEdit> edtHardwareID;
};

// Page 9.
class TFrameUpdateInstaller : public TFrameBase {
 public:
  explicit TFrameUpdateInstaller(TSetupForm& form);
  ~TFrameUpdateInstaller() override;
  void Translate() override;

 private:
  void btnUpdateClick();

  TGradientBitBtn btnUpdate;
  TImage imgAlert;
  TLabel lblAlert;
  bool m_bUpdateRequested = false;
};

// Page 0.
class TFrameCloseQuillon : public TFrameBase {
 public:
  explicit TFrameCloseQuillon(TSetupForm& form);
  ~TFrameCloseQuillon() override;
  void Translate() override {}

 private:
  TImage imgAlert;
  TLabel lblAlert;
};

}  // namespace sf
