// The texts of the order replies, written in UTF-8 and sent in the charset of
// the reply: CP1251 by default, UTF-8 when a scenario or a fault asks for it.
#pragma once

#include <string>

namespace kexsim {

namespace order_text {
inline constexpr const char* kUnknownPortfolio = "Неизвестный портфель";
inline constexpr const char* kUnknownSecurity = "Неизвестный инструмент";
inline constexpr const char* kBadParameters = "Неверные параметры заявки";
inline constexpr const char* kBadPrice = "Неверная цена";
inline constexpr const char* kBadAmount = "Неверное количество";
inline constexpr const char* kUnknownOrder = "Заявка не найдена";
inline constexpr const char* kNotActive = "Заявка не активна";
inline constexpr const char* kCancelAccepted = "Заявка будет снята";
inline constexpr const char* kServerError = "Внутренняя ошибка сервера";
inline constexpr const char* kForbidden = "Доступ запрещён";
}  // namespace order_text

// The UTF-8 text in the named charset: "CP1251" and "windows-1251" (any case)
// get the code page's bytes, anything else the UTF-8 bytes as they are.
std::string encodeText(const std::string& utf8, const std::string& charset);

}  // namespace kexsim
