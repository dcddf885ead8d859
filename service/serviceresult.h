#pragma once

// Result codes of the sign-in and album requests.
namespace ServiceResult {
constexpr int Success = 0;
constexpr int OtherStatus = 1;  // an HTTP status the request does not expect
constexpr int NoConnection = 2; // no answer, no data, or an answer that names nothing
constexpr int AuthRefused = 3;  // token refused, or wrong login or password
constexpr int AlbumNotFound = 4;
constexpr int AccessForbidden = 5;
} // namespace ServiceResult
