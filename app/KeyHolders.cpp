// The process-wide key holders, built during static initialisation before WinMain and destroyed in reverse
// order after it returns. Linked as objects into the programs that want them (nothing references these
// names).
#include "app/CryptKey.h"

namespace {

// The stored password: its eight characters are hashed, without a terminator.
constexpr char kPassword[] = {'k', 'e', 'l', 'p', 'W', 'o', 'r', 'd'};
constexpr DWORD kPasswordLength = sizeof(kPassword);
static_assert(kPasswordLength == 8);

CTRCryptKey g_key0(kPassword, kPasswordLength);
CTRCryptKey g_key1(kPassword, kPasswordLength);
CTRCryptKey g_key2(kPassword, kPasswordLength);
CTRCryptKey g_key3(kPassword, kPasswordLength);
CTRCryptKey g_key4(kPassword, kPasswordLength);
CTRCryptKey g_key5(kPassword, kPasswordLength);
CTRCryptKey g_key6(kPassword, kPasswordLength);
CTRCryptKey g_key7(kPassword, kPasswordLength);
CTRCryptKey g_key8(kPassword, kPasswordLength);
CTRCryptKey g_key9(kPassword, kPasswordLength);
CTRCryptKey g_key10(kPassword, kPasswordLength);
CTRCryptKey g_key11(kPassword, kPasswordLength);
CTRCryptKey g_key12(kPassword, kPasswordLength);
CTRCryptKey g_key13(kPassword, kPasswordLength);
CTRCryptKey g_key14(kPassword, kPasswordLength);
CTRCryptKey g_key15(kPassword, kPasswordLength);
CTRCryptKey g_key16(kPassword, kPasswordLength);
CTRCryptKey g_key17(kPassword, kPasswordLength);
CTRCryptKey g_key18(kPassword, kPasswordLength);

}  // namespace
