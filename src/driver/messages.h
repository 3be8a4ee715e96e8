// Everything the tool says, in Czech without diacritics so that any console code page shows
// it. printf formats take the file names as given on the command line.
#pragma once

namespace veltrim::msg {

inline constexpr char kBanner[] = "\nVeltrim v1.1\n";

inline constexpr const char* kHelp[] = {
    "Veltrim - prevod CSS do radkove formy, (c) 2026 vyvojari projektu Veltrim\n\n",
    "Program nacte soubor kaskadovych stylu a prevede jej do tzv. radkove\n",
    "formy. Odstrani z nej komentare, nadbytecne prazdne znaky a upravi ho\n",
    "tak, aby kazde pravidlo bylo cele na jednom radku.\n\n",
    "Vstupni soubor se ocekava s priponou .CSS, vystup bude ulozen do noveho\n",
    "souboru stejneho jmena s priponou .OLF ve stejnem adresari.\n\n",
    "Syntaxe:\n\n",
    "  VELTRIM jmeno_vstupniho_css_souboru\n\n",
};

inline constexpr char kNameTooShort[] = "Chybny nazev souboru. (delka<5)\n";
inline constexpr char kNameTooLong[] = "Chybny nazev souboru. (delka>511)\n";
inline constexpr char kNameNoCss[] = "Chybny nazev souboru. (chybi .css))\n";
inline constexpr char kNameCssNotAtEnd[] = "Chybny nazev souboru. (.css neni na konci)\n";

// The same refusals when several files were handed over at once (dropped on the program or
// sent to it): each names its file, so that the user can tell which of them was refused. A
// name too long to show whole is shown by its end, where the file's own name is.
inline constexpr char kNamedTooShort[] = "Chybny nazev souboru %s. (delka<5)\n";
inline constexpr char kNamedTooLong[] = "Chybny nazev souboru ...%s. (delka>511)\n";
inline constexpr char kNamedNoCss[] = "Chybny nazev souboru %s. (chybi .css))\n";
inline constexpr char kNamedCssNotAtEnd[] = "Chybny nazev souboru %s. (.css neni na konci)\n";

inline constexpr char kCannotRead[] = "Soubor %s nejde otevrit pro cteni.\n";
inline constexpr char kCannotWrite[] = "Soubor %s nejde otevrit pro zapis.\n";
inline constexpr char kReadFailed[] = "Chyba pri cteni souboru %s.\n";
inline constexpr char kWriteFailed[] = "Chyba pri zapisu do souboru %s.\n";
inline constexpr char kPressEnter[] = "Stisknete Enter pro ukonceni.";

inline constexpr char kDone[] = "Soubor %s zpracovan do souboru %s.\n";

// The watch mode (veltrim --watch). A result line of a conversion after a save starts with
// the time of day, so that a user sees which save it was.
inline constexpr char kTimeStamp[] = "[%s] ";
inline constexpr char kWatching[] = "Sleduji zmeny souboru. Ukonceni: Ctrl+C.\n";
inline constexpr char kWatchRemoved[] = "Soubor %s byl odstranen; az bude zpet, bude opet zpracovan.\n";
inline constexpr char kWatchNoFolder[] =
    "Slozku %s nejde sledovat: neexistuje. Zkontrolujte nazev a spustte sledovani znovu.\n";
inline constexpr char kWatchLimit[] =
    "Slozku %s nejde sledovat: system nedovoli dalsi sledovani. Zvyste limit "
    "(Linux: fs.inotify.max_user_watches) a spustte sledovani znovu.\n";
inline constexpr char kWatchCannot[] =
    "Slozku %s nejde sledovat. Zkontrolujte prava k ni a spustte sledovani znovu.\n";
inline constexpr char kWatchFolderGone[] =
    "Sledovana slozka %s byla odstranena nebo presunuta. Az bude zpet, spustte sledovani znovu.\n";
inline constexpr char kWatchOverflow[] =
    "Prislo prilis mnoho zmen najednou; vsechny sledovane soubory budou zpracovany znovu.\n";
inline constexpr char kWatchBroken[] = "Sledovani zmen selhalo; program konci.\n";

}  // namespace veltrim::msg
