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

namespace {

// One custom property of a design-token rule, as frameworks write them.
void token(Lcg& r, std::string& out, unsigned n, const char* indent) {
  static const char* const kTokenValues[] = {
      "hsla(var(--hue), var(--saturation), calc(var(--lightness) + 5%), 1)",
      "var(--space-2)",
      "calc(var(--font-size-base) * 1.25)",
      "0 1px 2px hsla(var(--shadow-hue), 20%, 10%, 0.2)",
      "#0969da",
      "var(--color-fg-default, #1f2328)",
      "cubic-bezier(0.33, 1, 0.68, 1)"};
  out += indent;
  out += "--token-";
  out += std::to_string(n);
  out += ": ";
  out += pick(r, kTokenValues);
  out += ";\n";
}

void token_rule(Lcg& r, std::string& out, std::size_t size, unsigned& n) {
  const std::size_t start = out.size();
  out += n % 3 ? "[data-theme=\"t" + std::to_string(n) + "\"] {\n" : std::string(":root {\n");
  while (out.size() - start < size) token(r, out, n++, "  ");
  out += "}\n\n";
}

std::string tokens(std::size_t bytes, std::size_t rule_size) {
  Lcg r;
  std::string out;
  unsigned n = 0;
  while (out.size() < bytes) token_rule(r, out, rule_size, n);
  return out;
}

std::string one_rule(std::size_t bytes) {
  Lcg r;
  std::string out = ":root {\n";
  unsigned n = 0;
  while (out.size() < bytes) token(r, out, n++, "  ");
  return out + "}\n";
}

std::string nested(std::size_t bytes) {
  static const char* const kConditions[] = {"@media (min-width: 576px)",
                                            "@media (prefers-color-scheme: dark)",
                                            "@supports (display: grid)", "@media print"};
  Lcg r;
  std::string out;
  while (out.size() < bytes) {
    out += pick(r, kConditions);
    out += " {\n";
    for (unsigned i = 1 + r.next(4); i > 0; --i) rule(r, out, "\n", "  ");
    out += "}\n\n";
    rule(r, out, "\n", "");
  }
  return out;
}

std::string commented(std::size_t bytes) {
  Lcg r;
  std::string out;
  for (unsigned n = 0; out.size() < bytes; ++n) {
    if (n % 20 == 0) {
      out +=
          "/*!\n * Component library v4.2.1 (https://example.invalid/)\n"
          " * Copyright 2011-2026 The Authors\n"
          " * Licensed under MIT (https://example.invalid/LICENSE)\n */\n";
    }
    out +=
        "/* The card's header: keeps the title and its actions on one line, and wraps "
        "them below 576px. */\n";
    rule(r, out, "\n", "");
    out.insert(out.size() - 4, "  /* fallback for engines without custom properties */\n");
  }
  return out;
}

// A minified sheet: one line, blanks only where they stay, no comments.
std::string minified(std::size_t bytes) {
  const std::string pretty = make_stylesheet(bytes + bytes / 3, false);
  std::string out;
  out.reserve(bytes + 4096);
  bool blank = false;
  bool keep_space = false;
  for (std::size_t i = 0; i < pretty.size() && out.size() < bytes; ++i) {
    const char c = pretty[i];
    if (c == '/' && i + 1 < pretty.size() && pretty[i + 1] == '*') {
      i = pretty.find("*/", i + 2);
      if (i == std::string::npos) break;
      ++i;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      blank = true;
      continue;
    }
    const bool ends = c == '{' || c == '}' || c == ',' || c == ';' || c == ':';
    if (blank && keep_space && !ends) out += ' ';
    blank = false;
    out += c;
    keep_space = !ends;
  }
  return out;
}

}  // namespace

const char* shape_name(Shape shape) {
  static const char* const kNames[] = {
      "generated",     "generated CR LF", "minified", "tokens 2 KiB",   "tokens 8 KiB",
      "tokens 32 KiB", "tokens 128 KiB",  "one rule", "@media nesting", "comment blocks"};
  return kNames[static_cast<int>(shape)];
}

std::string make_shape(Shape shape, std::size_t bytes) {
  switch (shape) {
    case Shape::kGenerated:
      return make_stylesheet(bytes, false);
    case Shape::kGeneratedCrlf:
      return make_stylesheet(bytes, true);
    case Shape::kMinified:
      return minified(bytes);
    case Shape::kTokens2k:
      return tokens(bytes, std::size_t{2} * 1024);
    case Shape::kTokens8k:
      return tokens(bytes, std::size_t{8} * 1024);
    case Shape::kTokens32k:
      return tokens(bytes, std::size_t{32} * 1024);
    case Shape::kTokens128k:
      return tokens(bytes, std::size_t{128} * 1024);
    case Shape::kOneRule:
      return one_rule(bytes);
    case Shape::kNested:
      return nested(bytes);
    default:
      return commented(bytes);
  }
}

}  // namespace veltrim::bench
