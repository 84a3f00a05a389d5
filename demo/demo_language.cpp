// The demo's language library: the launcher copies it as "~0000.dll" for the engine, which asks
// it for its language.
extern "C" __declspec(dllexport) const char* LanguageName() {
  return "English (United States)";
}
