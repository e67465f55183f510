// Writes the source files of the sample update: the program and its
// libraries, help texts in four languages, card images, the bid book,
// sounds and a few small files. The output is the same on every run, so the
// packed archive is reproducible.
//
// Usage: vorn-payload-gen DIRECTORY
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Small deterministic generator (xorshift), the same on every platform.
struct Random {
    uint32_t state;
    explicit Random(uint32_t seed) : state(seed ? seed : 1) {}
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    uint32_t below(uint32_t n) { return next() % n; }
};

fs::path gRoot;

void save(const std::string& name, const Bytes& data) {
    fs::path path = gRoot / name;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    if (!out) {
        std::fprintf(stderr, "vorn-payload-gen: cannot write %s\n", path.string().c_str());
        std::exit(1);
    }
}

void saveText(const std::string& name, const std::string& text) {
    save(name, Bytes(text.begin(), text.end()));
}

void put16(Bytes& b, uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// A program image: an executable header, code made of a skewed choice of
// instruction bytes, and a table of strings.
Bytes program(uint32_t size, uint32_t seed, const std::vector<std::string>& strings) {
    Random r(seed);
    Bytes b = {'M', 'Z', 0x90, 0};
    b.resize(128, 0);
    b[60] = 128;
    const char pe[] = "PE\0\0";
    b.insert(b.end(), pe, pe + 4);
    b.resize(1024, 0);
    static const uint8_t kCommon[] = {0x8B, 0x89, 0x55, 0xE8, 0xC3, 0x83, 0x50, 0x56, 0x57,
                                      0x5D, 0x74, 0x75, 0xFF, 0x33, 0xC0, 0x8D, 0x6A, 0x00};
    while (b.size() < size * 3 / 4) {
        uint32_t kind = r.below(8);
        if (kind < 5) {
            b.push_back(kCommon[r.below(sizeof kCommon)]);
        } else if (kind < 7) {
            put32(b, 0x00400000 + (r.below(4096) << 4));  // addresses in the image
        } else {
            b.push_back(static_cast<uint8_t>(r.next()));
        }
    }
    while (b.size() < size) {
        const std::string& s = strings[r.below(static_cast<uint32_t>(strings.size()))];
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
    }
    b.resize(size);
    return b;
}

// A 24-bit card image of 71 x 96 pixels.
Bytes card(int suit, int rank, uint32_t seed) {
    const int w = 71, h = 96, stride = (w * 3 + 3) & ~3;
    Bytes b = {'B', 'M'};
    put32(b, 54 + stride * h);
    put32(b, 0);
    put32(b, 54);
    put32(b, 40);
    put32(b, w);
    put32(b, h);
    put16(b, 1);
    put16(b, 24);
    put32(b, 0);
    put32(b, stride * h);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 0);
    put32(b, 0);
    Random r(seed);
    bool red = suit == 1 || suit == 2;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t c[3] = {255, 255, 255};  // blue, green, red
            bool border = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            // Pips on a grid: as many as the rank (picture cards get a frame).
            int gx = (x - 12) / 16, gy = (y - 8) / 16;
            bool pip = false;
            if (x >= 12 && y >= 8 && gx < 3 && gy < 5 && (gy * 3 + gx) < (rank > 10 ? 0 : rank)) {
                int dx = (x - 12) % 16 - 7, dy = (y - 8) % 16 - 7;
                pip = suit % 2 ? std::abs(dx) + std::abs(dy) < 6 : dx * dx + dy * dy < 30;
            }
            bool picture = rank > 10 && x > 10 && x < 60 && y > 12 && y < 84;
            if (border) {
                c[0] = c[1] = c[2] = 0;
            } else if (pip) {
                c[0] = c[1] = 0;
                c[2] = red ? 200 : 0;
            } else if (picture) {
                // Coloured robe with a little texture, as a scanned drawing has.
                int band = (x + y * (rank - 9)) / 6 % 4;
                static const uint8_t kRobe[4][3] = {
                    {40, 60, 200}, {30, 170, 220}, {160, 40, 30}, {230, 230, 230}};
                for (int k = 0; k < 3; ++k)
                    c[k] = static_cast<uint8_t>(kRobe[band][k] - (r.below(4) * 3));
            }
            b.insert(b.end(), c, c + 3);
        }
        b.resize(b.size() + (stride - w * 3), 0);
    }
    return b;
}

Bytes cardBack(uint32_t seed, uint8_t hue) {
    Bytes b = card(0, 0, seed);
    Random r(seed);
    for (size_t i = 54; i + 2 < b.size(); i += 3) {
        size_t p = (i - 54) / 3;
        bool check = ((p % 71) / 4 + (p / 71) / 4) % 2;
        b[i] = check ? hue : 255;
        b[i + 1] = static_cast<uint8_t>(check ? 40 + r.below(8) : 255);
        b[i + 2] = static_cast<uint8_t>(check ? 60 : 255 - r.below(3));
    }
    return b;
}

std::string helpText(const std::vector<std::string>& words, const std::string& title, uint32_t size,
                     uint32_t seed) {
    Random r(seed);
    std::string text = title + "\r\n" + std::string(title.size(), '=') + "\r\n\r\n";
    int chapter = 1;
    while (text.size() < size) {
        text += std::to_string(chapter++) + ". " + words[r.below(8)] + "\r\n\r\n";
        for (int p = 0; p < 4; ++p) {
            int lineLength = 0;
            for (int n = 30 + r.below(40); n > 0; --n) {
                const std::string& w = words[r.below(static_cast<uint32_t>(words.size()))];
                if (lineLength + w.size() > 72) {
                    text += "\r\n";
                    lineLength = 0;
                }
                text += w + " ";
                lineLength += static_cast<int>(w.size()) + 1;
                if (r.below(9) == 0) text += std::to_string(1 + r.below(7)) + " ";
            }
            text += "\r\n\r\n";
        }
    }
    text.resize(size);
    return text;
}

// The bid book: fixed records of a bidding sequence, the point range and
// shape it promises, and a short explanation.
Bytes bidBook(uint32_t records, uint32_t seed) {
    static const char* kNotes[] = {"opening",   "antwoord", "herbieding",  "stayman", "jacoby",
                                   "blackwood", "splinter", "voorbieding", "doublet", "pas"};
    Random r(seed);
    Bytes b = {'V', 'B', 'B', '3'};
    put32(b, records);
    for (uint32_t i = 0; i < records; ++i) {
        put16(b, i);
        int length = 1 + r.below(6);
        for (int k = 0; k < 12; ++k)
            b.push_back(k < length ? static_cast<uint8_t>(1 + r.below(35)) : 0);
        uint8_t low = static_cast<uint8_t>(r.below(20));
        b.push_back(low);
        b.push_back(static_cast<uint8_t>(low + 2 + r.below(6)));
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(r.below(8)));
        char note[28] = {};
        std::snprintf(note, sizeof note, "%s %u", kNotes[r.below(10)], r.below(40));
        b.insert(b.end(), note, note + sizeof note);
    }
    return b;
}

// A short sound: 8-bit mono PCM at 22050 Hz, a decaying tone with noise.
Bytes sound(uint32_t samples, double frequency, uint32_t seed) {
    Random r(seed);
    Bytes b = {'R', 'I', 'F', 'F'};
    put32(b, 36 + samples);
    const char fmt[] = "WAVEfmt ";
    b.insert(b.end(), fmt, fmt + 8);
    put32(b, 16);
    put16(b, 1);
    put16(b, 1);
    put32(b, 22050);
    put32(b, 22050);
    put16(b, 1);
    put16(b, 8);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, samples);
    for (uint32_t i = 0; i < samples; ++i) {
        double t = i / 22050.0;
        double v = std::sin(6.2831853 * frequency * t) * std::exp(-3.0 * t) * 60.0;
        v += static_cast<double>(r.below(97)) - 48.0;
        b.push_back(static_cast<uint8_t>(128 + static_cast<int>(v)));
    }
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorn-payload-gen DIRECTORY\n");
        return 2;
    }
    gRoot = argv[1];

    std::vector<std::string> strings = {"Vorn kaartspel",   "Kan bestand niet openen",
                                        "Cannot open file", "biedboek.dat",
                                        "Nieuw spel",       "New game",
                                        "Scores",           "Instellingen",
                                        "Settings",         "Software\\Vorn",
                                        "VornWare",         "Speler Noord",
                                        "Speler Oost",      "Speler Zuid",
                                        "Speler West"};
    save("program/vorn.exe", program(520000, 11, strings));
    save("program/vornlib.dll", program(210000, 12, strings));
    save("program/vorn2fix.dll", program(30000, 13, strings));
    save("program/setup.tmp", program(24000, 14, strings));

    std::vector<std::string> dutch = {
        "Biedsysteem", "Spelregels", "Tegenspel", "Afspelen", "Conventies",  "Scoren",   "Slemmen",
        "Oefenen",     "de",         "het",       "een",      "kaart",       "kleur",    "troef",
        "slag",        "bieden",     "speler",    "partner",  "tegenpartij", "harten",   "schoppen",
        "ruiten",      "klaveren",   "sans",      "punten",   "opening",     "antwoord", "leider",
        "dummy",       "uitkomst",   "belooft",   "minstens", "kaarten",     "in",       "die",
        "u",           "wint",       "verliest",  "na",       "met"};
    std::vector<std::string> english = {
        "Bidding",  "Rules",    "Defence",  "Declarer play", "Conventions", "Scoring",  "Slams",
        "Practice", "the",      "a",        "card",          "suit",        "trump",    "trick",
        "bid",      "player",   "partner",  "opponents",     "hearts",      "spades",   "diamonds",
        "clubs",    "no trump", "points",   "opening",       "response",    "declarer", "dummy",
        "lead",     "promises", "at least", "cards",         "in",          "that",     "you",
        "win",      "lose",     "after",    "with",          "holds"};
    std::vector<std::string> french = {
        "Encheres",    "Regles",     "Defense",     "Jeu de la carte",
        "Conventions", "Marque",     "Chelems",     "Exercices",
        "la",          "le",         "une",         "carte",
        "couleur",     "atout",      "levee",       "enchere",
        "joueur",      "partenaire", "adversaires", "coeur",
        "pique",       "carreau",    "trefle",      "sans atout",
        "points",      "ouverture",  "reponse",     "declarant",
        "mort"};
    std::vector<std::string> german = {
        "Reizen",  "Regeln",    "Gegenspiel", "Alleinspiel",   "Konventionen", "Wertung",
        "Schlemm", "Ubungen",   "die",        "der",           "eine",         "Karte",
        "Farbe",   "Trumpf",    "Stich",      "Gebot",         "Spieler",      "Partner",
        "Gegner",  "Herz",      "Pik",        "Karo",          "Kreuz",        "ohne Trumpf",
        "Punkte",  "Eroffnung", "Antwort",    "Alleinspieler", "Dummy"};
    saveText("help/regels_nl.txt", helpText(dutch, "Vorn: spelregels en biedsysteem", 150000, 21));
    saveText("help/rules_en.txt", helpText(english, "Vorn: rules and bidding", 140000, 22));
    saveText("help/regles_fr.txt", helpText(french, "Vorn: regles et encheres", 90000, 23));
    saveText("help/regeln_de.txt", helpText(german, "Vorn: Regeln und Reizen", 90000, 24));
    saveText("help/nieuw_nl.txt", helpText(dutch, "Nieuw in versie 3.01", 12000, 25));
    saveText("help/new_en.txt", helpText(english, "New in version 3.01", 11000, 26));

    static const char* kSuits[] = {"schoppen", "harten", "ruiten", "klaveren"};
    static const char* kRanks[] = {"2", "3",  "4", "5", "6", "7", "8",
                                   "9", "10", "b", "v", "h", "a"};
    for (int s = 0; s < 4; ++s)
        for (int k = 0; k < 13; ++k)
            save(std::string("cards/") + kSuits[s] + "_" + kRanks[k] + ".bmp",
                 card(s, k + 2 == 14 ? 1 : k + 2, 100 + s * 13 + k));
    save("cards/achterkant1.bmp", cardBack(300, 160));
    save("cards/achterkant2.bmp", cardBack(301, 40));

    save("data/biedboek.dat", bidBook(21000, 31));
    save("sounds/kaart.wav", sound(150000, 440.0, 41));
    save("sounds/slag.wav", sound(190000, 330.0, 42));
    save("sounds/einde.wav", sound(400000, 523.0, 43));

    saveText(
        "data/vorn.ini",
        "[Vorn]\r\nVersie=3.01\r\nTaal=auto\r\nKaarten=Kaarten\r\nBiedboek=Data\\biedboek.dat\r\n"
        "Geluid=1\r\nSnelheid=3\r\n");
    saveText("data/netwerk.ini", "[Netwerk]\r\nServer=spel.vornsoft.nl\r\nPoort=4610\r\n");
    return 0;
}
