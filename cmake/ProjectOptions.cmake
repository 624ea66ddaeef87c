# One place for the language level, warnings and Qt strictness that every target shares.
add_library(quillbox_options INTERFACE)
target_compile_features(quillbox_options INTERFACE cxx_std_20)
target_compile_options(quillbox_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wconversion -Wno-sign-conversion)
target_compile_definitions(quillbox_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING QT_USE_QSTRINGBUILDER QT_NO_KEYWORDS
  QUILLBOX_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  QUILLBOX_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  QUILLBOX_VERSION_REVISION=${PROJECT_VERSION_PATCH})
# GCC 12 reports std::optional<QString> members as "maybe uninitialized" at -O2; the warning is a
# known false positive there and would break optimised builds with -Werror.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(quillbox_options INTERFACE -Wno-maybe-uninitialized)
endif()
if(QUILLBOX_WERROR)
  target_compile_options(quillbox_options INTERFACE -Werror)
endif()
if(QUILLBOX_SANITIZE)
  target_compile_options(quillbox_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                    -fno-sanitize-recover=undefined)
  target_link_options(quillbox_options INTERFACE -fsanitize=address,undefined)
endif()
