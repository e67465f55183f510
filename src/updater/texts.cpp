// Text table. Texts are Windows ANSI byte strings; every text here is plain
// ASCII so that it reads the same in any code page.
#include "updater/texts.h"

#include "updater/config.h"

namespace {

constexpr int kRows = kLastTextId - kFirstTextId + 1;

// A row: the text, and for ids with two forms the form for flag value 1.
struct Row {
    const char* text;
    const char* whenSet;
};

#define VORN_COPYRIGHT_A "(c) 2001-2005 Vornsoft B.V., Klaverzeven, Biedlab Zwolle"
#define VORN_COPYRIGHT_B "(c) 2001-2005 Velmora B.V."

// Two-form rows: ids 4, 11, 13, 14 follow `demo`; 9 and 10 follow
// `mainProduct`, whose rows list the mainProduct 0 form first.
const Row kDutch[kRows] = {
    {"update informatie", "demo informatie"},
    {"Vorn 3.01: 26-jun-2005", nullptr},
    {"Versie 3.01 van Vorn", nullptr},
    {"Versie 3.01 van biedboek", nullptr},
    {"", nullptr},
    {VORN_COPYRIGHT_B, VORN_COPYRIGHT_A},
    {"ontwikkelling", "het Vorn team"},
    {"Installeer update", "Installeer demo"},
    {"Annuleer", nullptr},
    {"De update is aangebracht.", "Installatie succesvol.\nVeel plezier."},
    {"Update verslag", "Einde installatie"},
    {"E-mail: info@vornsoft.nl", nullptr},
    {"Internet: www.vornsoft.nl", nullptr},
    {"Vorn directory niet gevonden", nullptr},
    {"Vorn Demo directory niet gevonden", nullptr},
    {"Einde programma", nullptr},
    {"Velmora directory niet gevonden", nullptr},
    {"Tijdens de installatie mag Vorn niet actief zijn.", nullptr},
    {"Tijdens de installatie mag er geen\nandere Velmora Software draaien.", nullptr},
    {"U heeft Vorn versie 2.0 nodig voor deze update.", nullptr},
    {"U heeft Vorn versie 3.0 nodig voor deze update.", nullptr},
    {"Engels", nullptr},
    {"Nederlands", nullptr},
    {"Frans", nullptr},
    {"Duits", nullptr},
    {"speelkaarten en helpbestanden", nullptr},
    {"Er is een nieuwere versie van Velmora Software aanwezig.", nullptr},
    {"Er is een nieuwere versie van Trivelo aanwezig.", nullptr},
};

const Row kEnglish[kRows] = {
    {"update information", "demo information"},
    {"Vorn 3.01: 26-jun-2005", nullptr},
    {"Version 3.01 for Vorn", nullptr},
    {"Version 3.01 of the bid book", nullptr},
    {"", nullptr},
    {VORN_COPYRIGHT_B, VORN_COPYRIGHT_A},
    {"development", "the Vorn team"},
    {"Install update", "Install demo"},
    {"Cancel", nullptr},
    {"The update has been applied.", "Installation completed."},
    {"Update report", "Installation finished"},
    {"E-mail: info@vornsoft.com", nullptr},
    {"Internet: www.vornsoft.com", nullptr},
    {"Vorn directory not found", nullptr},
    {"Vorn Demo directory not found", nullptr},
    {"Exit program", nullptr},
    {"Program directory not found", nullptr},
    {"During updating Vorn should not be active.", nullptr},
    {"During updating no other Velmora Software should be active.", nullptr},
    {"You need Vorn version 2.0 to be able to use this update.", nullptr},
    {"You need Vorn version 3.0 to be able to use this update.", nullptr},
    {"English", nullptr},
    {"Dutch", nullptr},
    {"French", nullptr},
    {"German", nullptr},
    {"playing cards and help files", nullptr},
    // These two sentences exist in Dutch only.
    {"Er is een nieuwere versie van Velmora Software aanwezig.", nullptr},
    {"Er is een nieuwere versie van Trivelo aanwezig.", nullptr},
};

}  // namespace

const char* const kFamilyTeam[6] = {"Joost Klaverdijk", "Marieke Troefsma",  "Pieter Harten",
                                    "Anouk Schoppen",   "Willem Ruitenberg", "Femke Azenbroek"};

const char* textFor(int id) {
    if (id < kFirstTextId || id > kLastTextId) return "Unknown";
    const Row& row = (gConfig.dutch ? kDutch : kEnglish)[id - kFirstTextId];
    if (row.whenSet == nullptr) return row.text;
    bool set = (id == kTextCopyright || id == kTextTeamGroup) ? gConfig.mainProduct != 0
                                                              : gConfig.demo != 0;
    return set ? row.whenSet : row.text;
}
