/*
 * sample_token.h - a session token to try the tool and the examples on.
 *
 * Header {"alg":"none","typ":"JWT"}; payload
 *   {"sub":"11111111-2222-3333-4444-555555555555","email":"listener@example.com",
 *    "iss":"https://auth.example.com","exp":4102444800,"iat":1700000000,
 *    "permissions":["admin"]}
 * and a placeholder in place of a signature. It was issued at 2023-11-14T22:13:20Z and
 * expires at 2100-01-01T00:00:00Z; its subject is a valid GUID and it grants "admin".
 * These are the claims of the library's own self-test sample.
 */
#ifndef VLAUTH_SAMPLE_TOKEN_H
#define VLAUTH_SAMPLE_TOKEN_H

#define VLAUTH_SAMPLE_TOKEN                                                                  \
  "eyJhbGciOiJub25lIiwidHlwIjoiSldUIn0."                                                     \
  "eyJzdWIiOiIxMTExMTExMS0yMjIyLTMzMzMtNDQ0NC01NTU1NTU1NTU1NTUiLCJlbWFpbCI6Imxpc3RlbmVy"     \
  "QGV4YW1wbGUuY29tIiwiaXNzIjoiaHR0cHM6Ly9hdXRoLmV4YW1wbGUuY29tIiwiZXhwIjo0MTAyNDQ0ODAw"     \
  "LCJpYXQiOjE3MDAwMDAwMDAsInBlcm1pc3Npb25zIjpbImFkbWluIl19."                                \
  "c2FtcGxl"

#endif /* VLAUTH_SAMPLE_TOKEN_H */
