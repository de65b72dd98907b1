// Documents parsed without validation come from the network: a DOCTYPE must not make the parser
// read local files or fetch anything.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "cml/CmlException.h"
#include "cml/CmlParser.h"
#include "cml/CmlPlatform.h"

namespace {

using namespace zav::cml;

TEST(CmlParserHardening, NonValidatingParseIgnoresExternalEntitiesAndDtds) {
    EnsureXmlPlatform();
    const std::string secret = testing::TempDir() + "zav_parser_secret.txt";
    std::ofstream(secret) << "top secret";
    const std::string documents[] = {
        // An external general entity naming a local file.
        "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret + "'>]><r>&x;</r>",
        // An external DTD subset whose entity would pull the file in.
        "<?xml version='1.0'?><!DOCTYPE r SYSTEM 'file://" + secret + "'><r>a</r>",
    };
    for (const std::string& text : documents) {
        CCmlParser parser(CML_DONT_VALIDATE);
        std::string content;
        try {
            parser.ParseBuffer(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                               CML_DONT_VALIDATE, L"");
            parser.GetDocumentElement().getTextContent(content);
        } catch (const CCmlException&) {
            // Refusing the document outright is as good as not expanding it.
        }
        EXPECT_EQ(std::string::npos, content.find("secret")) << text;
    }
    std::remove(secret.c_str());
}

}  // namespace
