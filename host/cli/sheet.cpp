#include "sheet.h"

#include "font.h"
#include "program_dir.h"

#include <algorithm>
#include <cstring>

namespace seqfx_cli {

namespace {

constexpr int kColumns = 5, kThumbW = 160, kThumbH = 120, kGap = 12, kCaption = 2 * (kGlyphHeight + 4);
constexpr int kHeader = 36;
// Pictures are shown over a checkerboard, so that colour under alpha 0 is
// seen as missing and not as black: squares of kCheck pixels, light and dark.
constexpr int kCheck = 8;
constexpr unsigned kCheckLight = 153, kCheckDark = 102;

unsigned checker(int x, int y_top) { return ((x / kCheck + y_top / kCheck) & 1) ? kCheckDark : kCheckLight; }

std::string hex2(unsigned v) {
  const char *d = "0123456789abcdef";
  return std::string{d[(v >> 4) & 15], d[v & 15]};
}

// The same checkerboard behind the page's pictures.
std::string checker_css() {
  const std::string light = "#" + hex2(kCheckLight) + hex2(kCheckLight) + hex2(kCheckLight),
                    dark = "#" + hex2(kCheckDark) + hex2(kCheckDark) + hex2(kCheckDark);
  const std::string square = "linear-gradient(45deg," + dark + " 25%,transparent 25%,transparent 75%," + dark + " 75%)";
  return "img{background-color:" + light + ";background-image:" + square + "," + square +
         ";background-size:" + std::to_string(2 * kCheck) + "px " + std::to_string(2 * kCheck) +
         "px;background-position:0 0," + std::to_string(kCheck) + "px " + std::to_string(kCheck) + "px}\n";
}

void fill_rect(seqfx::Image &img, int x0, int y0_top, int w, int h, const unsigned char c[4]) {
  for (int y = y0_top; y < y0_top + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) continue;
      std::memcpy(img.pixel(x, img.height() - 1 - y), c, 4);
    }
}

// The source scaled to fit w x h (box filter), its top-left at (x0, y0).
void paste_scaled(seqfx::Image &dst, const seqfx::Image &src, int x0, int y0_top, int w, int h) {
  if (src.width() == 0 || src.height() == 0) return;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int sx0 = x * src.width() / w, sx1 = std::max(sx0 + 1, (x + 1) * src.width() / w);
      // Source rows counted from the top as well.
      const int sy0 = y * src.height() / h, sy1 = std::max(sy0 + 1, (y + 1) * src.height() / h);
      unsigned sum[4] = {0, 0, 0, 0}, n = 0;
      const unsigned back = checker(x, y);
      for (int sy = sy0; sy < sy1; ++sy)
        for (int sx = sx0; sx < sx1; ++sx, ++n) {
          const unsigned char *p = src.pixel(sx, src.height() - 1 - sy);
          // Shown over the checkerboard by their alpha.
          for (int c = 0; c < 3; ++c) sum[c] += (p[c] * p[3] + back * (255 - p[3])) / 255;
        }
      const int dx = x0 + x, dy = dst.height() - 1 - (y0_top + y);
      if (dx < 0 || dy < 0 || dx >= dst.width() || dy >= dst.height()) continue;
      unsigned char *d = dst.pixel(dx, dy);
      for (int c = 0; c < 3; ++c) d[c] = (unsigned char)(sum[c] / n);
      d[3] = 255;
    }
}

std::string fitted(const std::string &s, int width) {
  const std::size_t max = (std::size_t)(width + 1) / 6;
  if (s.size() <= max) return s;
  return s.substr(0, max > 3 ? max - 3 : 0) + "...";
}

std::string escaped(const std::string &s) {
  std::string o;
  for (char c : s) {
    switch (c) {
      case '&': o += "&amp;"; break;
      case '<': o += "&lt;"; break;
      case '>': o += "&gt;"; break;
      case '"': o += "&quot;"; break;
      default: o += c;
    }
  }
  return o;
}

}  // namespace

seqfx::Image contact_sheet(const std::vector<DemoEntry> &entries) {
  const int n = (int)entries.size();
  const int rows = std::max(1, (n + kColumns - 1) / kColumns);
  const int cols = std::max(1, std::min(n, kColumns));
  const int cell_w = kThumbW + kGap, cell_h = kThumbH + kCaption + kGap;
  seqfx::Image sheet(kGap + cols * cell_w, kHeader + rows * cell_h + kGap);
  sheet.fill(40, 40, 40, 255);
  const unsigned char white[4] = {235, 235, 235, 255}, grey[4] = {160, 160, 160, 255},
                      red[4] = {200, 40, 40, 255}, frame[4] = {70, 70, 70, 255};
  std::string heading = "seqfx demo: " + std::to_string(n) + " picture" + (n == 1 ? "" : "s");
  draw_text(sheet, kGap, 12, heading, white, 2);
  for (int i = 0; i < n; ++i) {
    const DemoEntry &e = entries[i];
    const int x = kGap + (i % kColumns) * cell_w, y = kHeader + (i / kColumns) * cell_h;
    fill_rect(sheet, x - 1, y - 1, kThumbW + 2, kThumbH + 2, frame);
    if (e.error.empty() && e.thumb.width() > 0) {
      paste_scaled(sheet, e.thumb, x, y, kThumbW, kThumbH);
    } else {
      fill_rect(sheet, x, y, kThumbW, kThumbH, red);
      draw_text(sheet, x + 8, y + kThumbH / 2 - 7, "failed", white, 2);
    }
    draw_text(sheet, x, y + kThumbH + 4, fitted(e.display_name, kThumbW), white);
    draw_text(sheet, x, y + kThumbH + 4 + kGlyphHeight + 4, fitted(e.title, kThumbW), grey);
  }
  return sheet;
}

std::string index_html(const std::vector<DemoEntry> &entries, const std::string &sheet_name) {
  std::string h =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>seqfx demo</title>\n<style>\n"
      "body{font-family:sans-serif;background:#222;color:#ddd;margin:2em}\n"
      "a{color:#9cf}section{margin-bottom:2em}figure{display:inline-block;vertical-align:top;margin:0 1em 1em 0;"
      "max-width:340px}\nimg{max-width:100%;border:1px solid #555}figcaption{font-size:90%}\n"
      "code{color:#bbb;font-size:85%}pre{font-size:80%;color:#aaa;white-space:pre-wrap;max-height:12em;overflow:auto}\n"
      ".failed{color:#f77}\n" + checker_css() + "</style></head><body>\n<h1>seqfx demo</h1>\n<p>Every module on the built-in scene. "
      "<a href=\"" + escaped(sheet_name) + "\">Contact sheet</a>.";
  // The modules' pages where the program has them (installed or built).
  const std::string index = module_page("README");
  if (!index.empty()) h += " <a href=\"" + escaped(index) + "\">The modules' pages</a>.";
  h += "</p>\n";
  for (std::size_t i = 0; i < entries.size();) {
    const std::string module = entries[i].module;
    h += "<section id=\"" + escaped(module) + "\">\n<h2>" + escaped(entries[i].display_name) + " <code>" +
         escaped(module) + ".so</code>";
    const std::string page = module_page(module);
    if (!page.empty()) h += " <a href=\"" + escaped(page) + "\">page</a>";
    h += "</h2>\n";
    for (; i < entries.size() && entries[i].module == module; ++i) {
      const DemoEntry &e = entries[i];
      h += "<figure>";
      if (!e.picture.empty()) h += "<a href=\"" + escaped(e.picture) + "\"><img src=\"" + escaped(e.picture) + "\" alt=\"" + escaped(e.title) + "\"></a>";
      h += "<figcaption>" + escaped(e.title);
      if (!e.options.empty()) h += "<br><code>" + escaped(e.options) + "</code>";
      if (!e.error.empty()) h += "<br><span class=\"failed\">failed: " + escaped(e.error) + "</span>";
      if (!e.console.empty()) h += "<details><summary>console</summary><pre>" + escaped(e.console) + "</pre></details>";
      h += "</figcaption></figure>\n";
    }
    h += "</section>\n";
  }
  return h + "</body></html>\n";
}

}  // namespace seqfx_cli
