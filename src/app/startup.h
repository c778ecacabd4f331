#pragma once
// Start-up, first activation and close of the program: everything the main window
// does then that is not a widget, so every front end shares it.

#include <string>

namespace bq {

struct Context;
class Station;

inline constexpr const char* kApplicationTitle = "Quarn";
inline constexpr const char* kProgramName = "Quarn Troca Firmware MSP430";
inline constexpr unsigned kProgramVersion = 554;
inline constexpr unsigned kProgramYear = 2019;
inline constexpr const char* kReleaseDate = "19/Ago/2019";
inline constexpr const char* kAboutPartners = "Parceiros e Representantes Quarn";
// Caption of the one page the operator sees.
inline constexpr const char* kMainPageCaption = " Sistema de Troca de Programa Quarn ";

// Help topics.
inline constexpr int kHelpVersions = 1;
inline constexpr int kHelpHowTo = 2;
inline constexpr int kHelpCableFinder = 24;

// Linux name of the port a missing setting falls back to.
inline constexpr const char* kDefaultPortName = "/dev/ttyS0";

// "Quarn Troca Firmware MSP430 2019 v5.54"
std::string MainWindowCaption();
// "Versão 5.54   de   19/Ago/2019"
std::string AboutVersionLine();

// Numbers and dates are written the same way whatever the user's locale.
void SetNumberAndDateFormats();

// Window creation: production log folder (announced when missing), formats,
// settings read, product-name list, fresh usage log.
void FormCreate(Context& ctx);
// First activation: controls loaded from the settings, status bar, last serial number.
void FormActivate(Context& ctx);
void LoadSettingsIntoWindow(Context& ctx);
// Takes port, baud rate, last serial number and firmware file from the window
// and writes the settings file. False when the file could not be written.
bool SaveSettingsFromWindow(Context& ctx);
void AtualizaStatusBar(Context& ctx);
// Closes the station's port when open (before anything is written), then saves the
// settings. False when the settings file could not be written (already reported).
bool FormClose(Context& ctx, Station& station);

}  // namespace bq
