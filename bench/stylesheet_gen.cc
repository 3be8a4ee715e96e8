#include "stylesheet_gen.h"

namespace veltrim::bench {

namespace {

// A small fixed generator, so that every run and every machine gets the same file.
struct Lcg {
  unsigned long long s = 0x2545F4914F6CDD1DULL;
  unsigned next(unsigned n) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<unsigned>((s >> 33) % n);
  }
};

const char* const kTags[] = {"div",
                             "a",
                             "ul li",
                             "p",
                             "h1",
                             "h2",
                             "nav",
                             "section > article",
                             "input[type=\"text\"]",
                             "button",
                             "table td",
                             "span"};
const char* const kClasses[] = {"card",     "header",    "menu-item",    "is-active", "btn-primary",
                                "col-md-6", "container", "footer__link", "sr-only",   "grid"};
const char* const kPseudo[] = {
    "", "", "", ":hover", ":focus", "::before", ":nth-child(2n+1)", ":not(.disabled)"};
const char* const kProps[] = {
    "color",      "margin",  "padding",    "font",       "border",
    "background", "display", "box-shadow", "transition", "grid-template-columns"};
const char* const kValues[] = {
    "#1a5fb4",
    "0 auto",
    "4px 8px 4px 8px",
    "italic bold 12px/30px Georgia, serif",
    "1px solid rgba(0, 0, 0, .125)",
    "url(\"../img/bg-pattern.png\") no-repeat center / cover",
    "flex",
    "0 0.5rem 1rem rgba(0, 0, 0, 0.15), inset 0 1px 0 rgba(255, 255, 255, 0.15)",
    "color .15s ease-in-out, background-color .15s ease-in-out, border-color .15s",
    "repeat(auto-fill, minmax(12rem, 1fr))"};

template <std::size_t N>
const char* pick(Lcg& r, const char* const (&a)[N]) {
  return a[r.next(N)];
}

void selector(Lcg& r, std::string& out) {
  out += pick(r, kTags);
  if (r.next(2)) {
    out += '.';
    out += pick(r, kClasses);
  }
  out += pick(r, kPseudo);
}

void rule(Lcg& r, std::string& out, const char* nl, const char* indent) {
  unsigned sels = 1 + r.next(3);
  out += indent;
  for (unsigned i = 0; i < sels; ++i) {
    if (i) {
      out += ",";
      out += nl;
      out += indent;
    }
    selector(r, out);
  }
  out += " {";
  out += nl;
  unsigned decls = 2 + r.next(6);
  for (unsigned i = 0; i < decls; ++i) {
    out += indent;
    out += r.next(4) ? "    " : "\t";
    out += pick(r, kProps);
    out += r.next(8) ? ": " : " : ";
    out += pick(r, kValues);
    if (r.next(10) == 0) out += " /* tweak */";
    out += ";";
    out += nl;
  }
  out += indent;
  out += "}";
  out += nl;
  out += nl;
}

}  // namespace

std::string make_stylesheet(std::size_t target, bool crlf) {
  const char* nl = crlf ? "\r\n" : "\n";
  Lcg r;
  std::string out;
  out.reserve(target + 4096);
  for (unsigned n = 0; out.size() < target; ++n) {
    if (n % 50 == 0) {
      out += "/* ==========================================================";
      out += nl;
      out += "   Section ";
      out += std::to_string(n / 50);
      out += nl;
      out += "   ========================================================== */";
      out += nl;
      out += nl;
    }
    if (n % 40 == 39) {
      out += "@media (max-width: 768px) {";
      out += nl;
      rule(r, out, nl, "  ");
      rule(r, out, nl, "  ");
      out += "}";
      out += nl;
    } else {
      rule(r, out, nl, "");
    }
  }
  out.resize(target);
  return out;
}

}  // namespace veltrim::bench
