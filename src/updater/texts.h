// The installer's bilingual text table, looked up by text id.
#pragma once

// Text ids used by the installer.
enum TextId : int {
    kTextInfoGroup = 4,
    kTextCaption = 5,
    kTextInfoLine1 = 6,
    kTextInfoLine2 = 7,
    kTextInfoLine3 = 8,
    kTextCopyright = 9,
    kTextTeamGroup = 10,
    kTextOkButton = 11,
    kTextCancelButton = 12,
    kTextReport = 13,
    kTextReportCaption = 14,
    kTextEmail = 15,
    kTextInternet = 16,
    kTextVornNotFound = 17,
    kTextDemoNotFound = 18,
    kTextExitCaption = 19,
    kTextFamilyNotFound = 20,
    kTextVornActive = 21,
    kTextFamilyActive = 22,
    kTextNeedVersion2 = 23,
    kTextNeedVersion3 = 24,
};

constexpr int kFirstTextId = 4;
constexpr int kLastTextId = 31;

// The text for an id in the configured language and variant; "Unknown" for
// an id without a row. Never fails, never allocates.
const char* textFor(int id);

// The product family's team, as the family dialog shows it.
extern const char* const kFamilyTeam[6];
