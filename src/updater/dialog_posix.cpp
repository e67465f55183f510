// The information dialog in a terminal: the template is drawn as text in
// its own layout (dialog units scaled to character cells), and one line of
// input presses a button. A line that begins with I or i presses OK (the
// OK button reads "Install..." or "Installeer..."); any other line, or the
// end of input, presses Cancel.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "updater/dialog.h"
#include "updater/join.h"

namespace {

// Dialog units to character cells.
int col(int x) {
    return x * 4 / 13;
}
int row(int y) {
    return y / 8;
}

struct ControlState {
    const ControlTemplate* base;
    std::string text;
    bool visible = true;
    bool enabled = true;
    int icon = 0;
};

class TerminalDialog : public DialogWindow {
  public:
    explicit TerminalDialog(const DialogTemplate& t) : template_(t), caption_(t.caption) {
        for (int i = 0; i < t.count; ++i) controls_.push_back({&t.controls[i], t.controls[i].text});
    }

    void rect(int& x, int& y, int& w, int& h) override {
        x = left_;
        y = 0;
        w = col(template_.width) + 2;
        h = row(template_.height) + 2;
    }
    void displaySize(int& w, int& h) override {
        const char* columns = std::getenv("COLUMNS");
        const char* lines = std::getenv("LINES");
        w = columns && std::atoi(columns) > 0 ? std::atoi(columns) : 80;
        h = lines && std::atoi(lines) > 0 ? std::atoi(lines) : 24;
    }
    void move(int x, int) override { left_ = x > 0 ? x : 0; }
    void setCaption(const char* text) override { caption_ = text; }
    void setText(int id, const char* text) override {
        if (ControlState* c = find(id)) c->text = text;
    }
    int getText(int id, char* buffer, int max) override {
        ControlState* c = find(id);
        std::string text = c ? c->text : std::string();
        if (max <= 0) return 0;
        int n = static_cast<int>(text.size()) < max - 1 ? static_cast<int>(text.size()) : max - 1;
        std::memcpy(buffer, text.data(), static_cast<size_t>(n));
        buffer[n] = 0;
        return n;
    }
    bool setIcon(int resource, int id1, int id2) override {
        for (int id : {id1, id2})
            if (ControlState* c = find(id)) c->icon = resource;
        return true;
    }
    void hide(int id) override {
        if (ControlState* c = find(id)) c->visible = false;
    }
    void disable(int id) override {
        if (ControlState* c = find(id)) c->enabled = false;
    }
    void end() override { ended_ = true; }

    bool ended() const { return ended_; }
    std::string render() const;
    std::string buttonText(int id) {
        ControlState* c = find(id);
        return c ? c->text : std::string();
    }

  private:
    ControlState* find(int id) {
        for (ControlState& c : controls_)
            if (c.base->id == id && id != -1) return &c;
        return nullptr;
    }

    const DialogTemplate& template_;
    std::string caption_;
    std::vector<ControlState> controls_;
    int left_ = 0;
    bool ended_ = false;
};

class Canvas {
  public:
    Canvas(int w, int h) : w_(w), lines_(static_cast<size_t>(h), std::string(w, ' ')) {}
    void put(int x, int y, const std::string& text, int maxWidth) {
        if (y < 0 || y >= static_cast<int>(lines_.size())) return;
        for (int i = 0; i < static_cast<int>(text.size()) && i < maxWidth; ++i) {
            if (x + i >= 0 && x + i < w_) lines_[y][x + i] = text[i];
        }
    }
    void box(int x, int y, int w, int h, const std::string& title) {
        std::string edge = joinText("+", std::string(w > 2 ? w - 2 : 0, '-'), "+");
        put(x, y, edge, w);
        put(x, y + h - 1, edge, w);
        for (int r = y + 1; r < y + h - 1; ++r) {
            put(x, r, "|", 1);
            put(x + w - 1, r, "|", 1);
        }
        if (!title.empty()) put(x + 2, y, joinText(" ", title, " "), w - 4);
    }
    std::string text(int indent) const {
        std::string out;
        for (const std::string& line : lines_) {
            size_t end = line.find_last_not_of(' ');
            out += std::string(indent, ' ') +
                   (end == std::string::npos ? "" : line.substr(0, end + 1));
            out += '\n';
        }
        return out;
    }

  private:
    int w_;
    std::vector<std::string> lines_;
};

std::string TerminalDialog::render() const {
    int w = col(template_.width), h = row(template_.height);
    Canvas canvas(w + 2, h + 2);
    canvas.box(0, 0, w + 2, h + 2, "");
    canvas.put(2, 0, joinText("[ ", caption_, " ]"), w - 2);
    // Group boxes first, so the texts inside them draw over the frame space.
    for (int pass = 0; pass < 2; ++pass) {
        for (const ControlState& c : controls_) {
            const ControlTemplate& t = *c.base;
            bool group = t.kind == ControlKind::GroupBox;
            if (!c.visible || group != (pass == 0)) continue;
            int x = col(t.x) + 1, y = row(t.y) + 1, cw = col(t.w);
            switch (t.kind) {
                case ControlKind::GroupBox:
                    canvas.box(x, y, cw, row(t.y + t.h) - row(t.y) + 1, c.text);
                    break;
                case ControlKind::Icon:
                    if (c.icon != 0) {
                        const char* mark = c.icon == kIconFamily ? "|M |" : "|V |";
                        canvas.put(x, y, ".--.", cw);
                        canvas.put(x, y + 1, mark, cw);
                        canvas.put(x, y + 2, "'--'", cw);
                    }
                    break;
                case ControlKind::Text:
                    canvas.put(x, y, c.text, cw);
                    break;
                case ControlKind::CentredText: {
                    int n = static_cast<int>(c.text.size());
                    canvas.put(x + (n < cw ? (cw - n) / 2 : 0), y, c.text, cw);
                    break;
                }
                case ControlKind::Edit:
                    canvas.put(x, y, joinText("[", c.text, c.enabled ? "_" : "", "]"), cw);
                    break;
                case ControlKind::DefaultButton:
                case ControlKind::Button: {
                    std::string label = t.kind == ControlKind::DefaultButton
                                            ? joinText("<", c.text, ">")
                                            : joinText("[", c.text, "]");
                    int n = static_cast<int>(label.size());
                    canvas.put(x + (n < cw ? (cw - n) / 2 : 0), y, label, cw);
                    break;
                }
            }
        }
    }
    return canvas.text(left_);
}

}  // namespace

namespace platform {

void runDialog(const DialogTemplate& dialog, DialogProc proc) {
    TerminalDialog window(dialog);
    proc(window, DialogMessage::Init, 0);
    while (!window.ended()) {
        std::string prompt = joinText("I = ", window.buttonText(kIdOk),
                                      ", Enter = ", window.buttonText(kIdCancel), ": ");
        std::fputs(window.render().c_str(), stdout);
        std::fputs(prompt.c_str(), stdout);
        std::fflush(stdout);
        char line[512];
        bool got = std::fgets(line, sizeof line, stdin) != nullptr;
        if (got && std::strchr(line, '\n') == nullptr) {
            // Drop the rest of an overlong line so it cannot answer a later prompt.
            int ch;
            while ((ch = std::fgetc(stdin)) != EOF && ch != '\n') {
            }
        }
        // Answers that do not come from a terminal are echoed, so a log of
        // the run shows what was chosen.
        if (!got) {
            std::fputs("\n", stdout);
        } else if (!isatty(STDIN_FILENO)) {
            std::fputs(line, stdout);
            if (std::strchr(line, '\n') == nullptr) std::fputs("\n", stdout);
        }
        std::fflush(stdout);
        bool ok = got && (line[0] == 'I' || line[0] == 'i');
        proc(window, DialogMessage::Command, ok ? kIdOk : kIdCancel);
    }
    proc(window, DialogMessage::Destroy, 0);
}

}  // namespace platform
