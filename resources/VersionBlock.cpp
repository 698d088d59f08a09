// The program's version block, in a section of its own so that the About box finds it in the
// program's file. Its format is VersionQueryValue's.
#include "platform/linux/version/ElfVersionInfo.h"

[[gnu::used, gnu::section(KRONVIK_VERSION_SECTION)]] extern const char KronvikVersionBlock[]
    = "[\\StringFileInfo\\041604E4]\n"
      "InternalName=Kronvik!\n"
      "FileVersion=3.0.3.0\n"
      "LegalCopyright=2001-2025 The Kronvik authors\n"
      "Comments=Free to use and to pass on unchanged, with no warranty; questions and ideas are welcome by "
      "e-mail.\n";
