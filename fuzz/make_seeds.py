#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

The seeds are small, hand-made inputs: the forms the readers are built for plus the odd cases
around them. Run it again after changing a seed here; the fuzzers' own finds are not kept here.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

BASE = "http://schemas.zav.example.org"
EQ = BASE + "/cml/Message/EventQueryMessages"


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def message(body, version="1.0.1", cml_ns=BASE + "/cml/Message", cml_version="1.0.0",
            decl="<?xml version='1.0' encoding='UTF-8' standalone='no'?>\n"):
    """A compound message as the writer lays it out, around the given message-body content."""
    return (decl +
            "<zav xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'\n"
            f"    xmlns='{BASE}' schema-version='{version}'>\n"
            f"    <cml xmlns='{cml_ns}' schema-version='{cml_version}'>\n"
            "        <message-envelope broadcast='false' "
            "message-id='6f1c0a5e-0000-4000-8000-000000000001'>\n"
            "            <source name='Event Query Server' namespace='urn:zav:test' "
            "ip-address='127.0.0.1'/>\n"
            "            <destination name='probe' agent-id='6ba7b810-9dad-11d1-80b4-00c04fd430c8'/>\n"
            f"            <message-body>\n{body}            </message-body>\n"
            "        </message-envelope>\n"
            "    </cml>\n"
            "</zav>\n")


def response(kind, items, attributes="count='2'"):
    item_tag = "vulnerability-item" if kind == "vulnerabilities" else "observance-item"
    text = (f"                <get-{kind}-response xmlns='{EQ}' schema-version='1.0.0' "
            f"request-id='7c9e6679-7425-40de-944b-e07fc1f90ae7' {attributes}>\n")
    for result_id, pairs in items:
        if not pairs:
            text += f"                    <{item_tag} result-id='{result_id}'/>\n"
            continue
        text += f"                    <{item_tag} result-id='{result_id}'>\n"
        for name, value in pairs:
            text += f"                        <result-data name='{name}' value='{value}'/>\n"
        text += f"                    </{item_tag}>\n"
    return text + f"                </get-{kind}-response>\n"


def block(content):
    return "            <response>\n" + content + "            </response>\n"


def response_seeds():
    vulns = response("vulnerabilities",
                     [("1", [("a", "1"), ("name", "caf\u00e9 &amp; &lt;x&gt;")]), ("2", [])])
    write("response", "vulnerabilities.xml", message(block(vulns)))
    obs = response("observances",
                   [("101", [("src-ip", "10.0.0.1"), ("dst-ip", "10.0.0.255"),
                             ("time", "2007-03-05T14:07:09.000000Z"), ("src-ip", "dup")]),
                    ("102", [("type", "\U0001F600 &#x1F600; &#233;")])],
                   "code='0' text='ok' count='2' start-cursor='c1' end-cursor='c2'")
    write("response", "observances.xml", message(block(obs)))
    write("response", "empty_response.xml", message(block(
        f"                <get-vulnerabilities-response xmlns='{EQ}' schema-version='1.0.0' "
        "request-id='r'/>\n")))
    # Neither an unknown name of the vocabulary, nor another namespace, nor a prefixed name is
    # delivered; the response after them is.
    write("response", "unexpected_element.xml", message(block(
        f"                <get-widgets-response xmlns='{EQ}' schema-version='1.0.0'/>\n"
        "                <get-vulnerabilities-response xmlns='urn:other'/>\n"
        f"                <eq:get-observances-response xmlns:eq='{EQ}' schema-version='1.0.0'/>\n"
        + obs)))
    # A request where a response belongs ends the reading.
    write("response", "request_as_response.xml", message(block(
        f"                <get-vulnerabilities-by-group-request xmlns='{EQ}' "
        "schema-version='1.0.0' request-id='r' group-id='g'/>\n")))
    write("response", "two_responses.xml", message(block(vulns + obs) + block(vulns)))
    # A whole message inside an item, and a response block below another element of the body.
    inner = message(block(vulns), decl="")
    write("response", "nested_message.xml", message(block(
        response("observances", [("1", [("a", "b")])]).replace(
            "</observance-item>", inner + "</observance-item>", 1)) +
        "            <extra>\n" + block(obs) + "            </extra>\n"))
    # The refusal of document types looks for ASCII bytes only.
    doctype = ("<?xml version='1.0' encoding='UTF-16'?>\n"
               "<!DOCTYPE zav [\n<!ENTITY e 'entity text'>\n<!ENTITY f '&e;&e;'>\n]>\n")
    write("response", "doctype_utf16.xml",
          b"\xff\xfe" + message(block(response("vulnerabilities", [("1", [("a", "&f;")])])),
                                decl=doctype).encode("utf-16-le"))
    write("response", "doctype_ascii.xml", message(
        block(vulns), decl="<?xml version='1.0'?>\n<!DOCTYPE zav SYSTEM 'file:///etc/passwd'>\n"))
    write("response", "entities.xml", message(block(
        "<!-- comment --><?pi data?>\n" +
        response("vulnerabilities",
                 [("&#49;&#x32;", [("&lt;&gt;&amp;&apos;&quot;", "&#x10FFFF;&#xD7FF;&#9;&#10;"),
                                   ("tab\tnewline\n", "&#xD;\r\n")])]).replace(
            "</vulnerability-item>",
            "<![CDATA[<result-data name='no' value='no'/>]]>&#x41;</vulnerability-item>"))))
    write("response", "legacy.xml", message(block(vulns), version="1.0.0",
                                            cml_ns=BASE + "/cml", cml_version="2.4.2"))
    write("response", "latin1.xml", message(block(response(
        "vulnerabilities", [("\u00e9", [("\u00ff", "\u00e0")])])),
        decl="<?xml version='1.0' encoding='ISO-8859-1'?>\n").encode("latin-1"))
    write("response", "not_a_message.xml", f"<get-vulnerabilities-response xmlns='{EQ}' "
          "schema-version='1.0.0'><vulnerability-item result-id='1'/>"
          "</get-vulnerabilities-response>")
    write("response", "truncated.xml", message(block(vulns))[:700])


def settings_seeds():
    write("settings", "local.ini", """; local property file
[event_query_services]
retryInterval = 5000
retryCeiling = 60000
maxServerRetry = 3
retryPrimaryServer = 1
retryServerLoop = 2
connectTimeout = 10000
transferTimeout = 60000
dumpEnabled = 0

[agent]
agent_id = 0f8fad5b-d9cb-469f-a165-70867728950e
agent_id_file = /var/lib/zav/agent.ini
""")
    write("settings", "comm.ini", """[servers]
; in order: index 0 is the primary server
url = https://eq1.example.org
url = http://eq2.example.org:8080/eq

[transport]
connect_timeout = 30000    ; ms
transfer_timeout = 120000
ca_file = /etc/ssl/certs/ca-certificates.crt
ca_path =
verify_peer = yes
verify_host = off
proxy = http://proxy.example.org:3128

[extra]
kept = written back
""")
    write("settings", "odd.ini",
          "\ufeff# comment\nkey: before any section\n[servers]\nurl=HTTPS://X\n"
          "  continued value\n[ spaced section ]\n a = b = c\n[transport]\n"
          "verify_peer=TRUE\nconnect_timeout=4294967295\n")
    write("settings", "bad_url.ini", "[servers]\nurl = ftp://eq.example.org\n")
    write("settings", "syntax_error.ini", "[servers\nurl = http://a\nno equals sign\n")
    write("settings", "crlf.ini",
          "[servers]\r\nurl = http://a.example.org\r\n[transport]\r\ntransfer_timeout = 0\r\n")


def utf_seeds():
    write("utf", "ascii", "plain ASCII text")
    write("utf", "mixed_utf8", "caf\u00e9 \u20ac \U0001F600 \u0800 \U0010FFFF")
    write("utf", "bad_utf8", b"A\xc0\x80B\xed\xa0\x80C\xef\xbf\xbe D\xf4\x90\x80\x80E\xe2\x82")
    write("utf", "utf16le", "h\u00e9llo \U0001F600".encode("utf-16-le") +
          b"\x00\xd8A\x00\x00\xdc\xfe\xff")
    write("utf", "utf32le", "w\u00ef\u0434e \U0001F600".encode("utf-32-le") +
          b"\x00\xd8\x00\x00\x00\x00\x11\x00\xff\xff\xff\xff")
    write("utf", "empty", b"")


def datetime_seeds():
    for name, text in [
        ("zulu", "2007-03-05T14:07:09Z"),
        ("offset", "2007-03-05T14:07:09.25-05:30"),
        ("minus_zero_hours", "2007-03-05T14:07:09-00:30"),
        ("separators", "2007/03/05 14.07.09"),
        ("short_fields", "7-1-2T3:4:5.5+1:0"),
        ("big_year", "12345-01-02T03:04:59.25"),
        ("unreadable", "2007-03-xxT14:07:09"),
        ("out_of_range", "2007-13-05T14:75:09"),
        ("date", "2007-03-05+01:00"),
        ("time", "14:07:09.123456789Z"),
        ("duration", "P1Y2M3DT4H5M6.5S"),
        ("negative_duration", "-PT90S"),
        ("fraction_duration", "P1.9D"),
        ("exponents", "P1e3YT2E-2S 1e400"),
        ("negative_fields", "-0001--5--7T-1:-2:-0.5+-3:-4"),
        ("int_limits", "2147483647-2147483648--2147483648T99999999999:0:1e308Z"),
        ("empty", ""),
    ]:
        write("datetime", name, text)


if __name__ == "__main__":
    response_seeds()
    settings_seeds()
    utf_seeds()
    datetime_seeds()
