// Settings of the upload control that every control of the process shares.
// Owned by the process (one instance, never destroyed). Written by the page's
// thread only (the controls' property calls and constructors); the upload and
// download workers read them while a run is in progress, after the start has
// fixed what they need.
#pragma once
#include <string>

namespace parvex {

struct ProcessSettings {
    std::wstring uploadUrl;
    std::wstring existUrl;
    std::wstring formFileNameField;
    std::wstring formUniqueNameField;
    std::wstring formFileField;
    std::wstring uploadTitle = L"Tamsel Upload";
    int expectContinue = 0;
    int useType = 0;
    int uploadPort = 80;
    std::wstring downloadTitle = L"Tamsel Download";
    std::wstring downloadHostUrl;  // kept across control constructions
};

ProcessSettings& Settings();
// What every upload control constructor does: all back to the defaults but
// the download host URL.
void ResetProcessSettings();

}  // namespace parvex
