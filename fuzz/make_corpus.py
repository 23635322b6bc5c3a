#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

Each seed is one call's arguments separated by NUL bytes (see fuzz_support.h). For the
claims and policy targets the first byte picks the token form: "0" the token itself,
"1" a JSON payload that the target makes into a token.
"""
import base64
import os

GUID = "11111111-2222-3333-4444-555555555555"
SAMPLE_PAYLOAD = ('{"sub":"%s","email":"listener@example.com","iss":"https://auth.example.com",'
                  '"exp":4102444800,"iat":1700000000,"permissions":["admin"]}' % GUID)


def b64url(text):
    return base64.urlsafe_b64encode(text.encode()).decode().rstrip("=")


SAMPLE_TOKEN = "eyJhbGciOiJub25lIn0." + b64url(SAMPLE_PAYLOAD) + ".c2ln"
# Beyond the working memory the library keeps on its stack for a usual token.
LARGE_PAYLOAD = ('{"sub":"%s","email":"%s@example.com","exp":4102444800,"permissions":[%s"admin"]}'
                 % (GUID, "e" * 300, "".join('"permission-%d",' % i for i in range(300))))

SEEDS = {
    "fuzz_guid": [GUID, GUID.upper(), "{%s}" % GUID, "../bad", "00000000-0000-0000-0000-000000000000",
                  GUID[:-1], GUID.replace("-", "_")],
    "fuzz_claims": [
        "0" + SAMPLE_TOKEN + "\0" + "1700000000",
        "1" + SAMPLE_PAYLOAD + "\0" + "4102444800",
        "1" + '{"iss":5,"sub":"%s","exp":1700000000,"iat":12.75,'
              '"permissions":["admin",7,["admin"],"admin"],"sub":"x"}' % GUID + "\0" + "1700000000",
        "1{}",
        "1" + LARGE_PAYLOAD,
        '1{"exp":1e19,"iat":-1e19}\0-5',
        '1{"sub":"a\\u0000b","email":"\u00e9/","permissions":"admin"}',
        "1[1,2]",
        "1{} x",
        "0a.b=c.d",
        "0h.====.s",
        "0h.e.s",
        "0a.b",
    ],
    "fuzz_extract_token": [
        "theme=dark; ov_token=" + SAMPLE_TOKEN + "; lang=en",
        "https://app.example.com/cb?x=1&token=" + SAMPLE_TOKEN + "#top",
        "ov_token=a.b&token=" + SAMPLE_TOKEN,
        "token=" + SAMPLE_TOKEN + "; ov_token=",
        "x\ttoken=a.b.c",
        "my_ov_token=a.b.c d",
        "OV_TOKEN=a.b.c",
    ],
    "fuzz_cookie_value": [SAMPLE_TOKEN, "a.b.c", "===.===.===", "a.b", "a..b", ".a.b", "a.b.c.", "a.b+.c"],
    "fuzz_login_request": [
        "https://auth.example.com//\0a@b.c\0secret",
        'https://auth.example.com\0"q"@example.com\0p\\a"ss',
        "http://a\0a@b\0x",
        "https://a\0ab\0",
        "https://a.example\0a@b\0",
        "https://a.example\0a@b\0\xff",
        "HTTPS://a.example\0a@b\0pw",
    ],
    "fuzz_web_login_url": [
        "https://auth.example.com/\0https://app.example.com/cb?x=1&y=\u00e9",
        "https://auth.example.com\0%41 +~._-",
        "https://auth.example.com///\0",
        "https://auth.example.com",
        "http://a\0x",
    ],
    "fuzz_session_policy": [
        "1" + SAMPLE_PAYLOAD + "\0" + "1700000000" + "\0" + "https://dist.example.com/" + "\0" + "https://music.example.com",
        "0" + SAMPLE_TOKEN + "\0" + "1700000000",
        "1" + LARGE_PAYLOAD + "\0\0\0https://" + "m" * 600 + ".example.com",
        '1{"sub":"%s","exp":1000}\0' % GUID + "1700000000",
        '1{"sub":"%s","email":"a@b"}\0' % GUID + "0\0/\0no scheme",
        "0",
        "0a.b.c\0" + "1",
    ],
}

DICTIONARY = ["ov_token=", "token=", "https://", "http://", "/", ";", "&", "#", "?", "=", ".",
              '"sub"', '"email"', '"iss"', '"exp"', '"iat"', '"permissions"', '"admin"',
              GUID, "eyJ", "%", "\\u0000", "1e19", "-9223372036854775808", "\u00e9"]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for target, seeds in SEEDS.items():
        folder = os.path.join(here, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for i, seed in enumerate(seeds):
            # Text seeds are UTF-8; "\xff" stands for the single byte 0xFF.
            data = seed.encode("utf-8").replace("\xff".encode("utf-8"), b"\xff")
            with open(os.path.join(folder, "seed-%02d" % i), "wb") as f:
                f.write(data)
    with open(os.path.join(here, "vlauth.dict"), "w", encoding="utf-8") as f:
        f.write("# libFuzzer dictionary of the fuzz targets (written by make_corpus.py)\n")
        for word in DICTIONARY:
            escaped = "".join(c if 32 <= ord(c) < 127 and c not in '"\\' else
                              "".join("\\x%02X" % b for b in c.encode()) for c in word)
            f.write('"%s"\n' % escaped)


if __name__ == "__main__":
    main()
