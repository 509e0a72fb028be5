#include "mime/MakeBoundary.h"
#include "mime/TMediaTypeRegister.h"

#include <gtest/gtest.h>

using namespace postello;

TEST(MediaTypes, FileTypesFromTheSystemRegister) {
  EXPECT_EQ(ContentTypeForFile("logo.gif"), "image/gif");
  EXPECT_EQ(ContentTypeForFile("/home/x/LOGO.GIF"), "image/gif");
  EXPECT_EQ(ContentTypeForFile("preise.pdf"), "application/pdf");
  EXPECT_EQ(ContentTypeForFile("archiv.tar.zip"), "application/zip");
  EXPECT_EQ(ContentTypeForFile("README"), "application/octet-stream");
  EXPECT_EQ(ContentTypeForFile("/a.b/README"), "application/octet-stream");
  EXPECT_EQ(ContentTypeForFile("x.unregistered-ext"), "application/octet-stream");
  EXPECT_EQ(ContentTypeForFile("punkt."), "application/octet-stream");
  EXPECT_EQ(ExtensionForContentType("image/gif"), ".gif");
  EXPECT_EQ(ExtensionForContentType("Application/PDF"), ".pdf");
  EXPECT_EQ(ExtensionForContentType("application/x-not-registered"), "");
}

TEST(MediaTypes, RegisterFileWithCommentsAndSeveralExtensions) {
  TMediaTypeRegister reg(std::string(POSTELLO_TEST_DATA) + "/mime/mime.types");
  EXPECT_FALSE(reg.UsesBuiltInTable());
  EXPECT_EQ(reg.TypeForExtension(".TXT"), "text/plain");
  EXPECT_EQ(reg.TypeForExtension(".text"), "text/plain");
  EXPECT_EQ(reg.TypeForExtension(".tst2"), "image/x-test");
  EXPECT_EQ(reg.ExtensionForType("image/x-test"), ".tst");
  EXPECT_EQ(reg.TypeForExtension(".commented"), "");
  EXPECT_EQ(reg.ExtensionForType("application/no-extension"), "");
  // The first type that lists an extension keeps it.
  EXPECT_EQ(reg.TypeForExtension(".dup"), "application/first");
}

TEST(MediaTypes, BuiltInTableWhenTheFileIsMissing) {
  TMediaTypeRegister reg("/nonexistent/mime.types");
  EXPECT_TRUE(reg.UsesBuiltInTable());
  EXPECT_EQ(reg.TypeForExtension(".pdf"), "application/pdf");
  EXPECT_EQ(reg.TypeForExtension(".JPG"), "image/jpeg");
  EXPECT_EQ(reg.ExtensionForType("image/jpeg"), ".jpg");
  EXPECT_EQ(reg.TypeForExtension(".xyz"), "");
  EXPECT_EQ(reg.ExtensionForType("application/x-unknown"), "");
}

TEST(Boundaries, SeededDrawsRepeatAndHaveTheirForm) {
  SeedBoundaries(42);
  const std::string a = MakeBoundary(), b = MakeBoundary();
  SeedBoundaries(42);
  EXPECT_EQ(MakeBoundary(), a);
  EXPECT_EQ(MakeBoundary(), b);
  EXPECT_NE(a, b);
  for (const std::string& boundary : {a, b}) {
    ASSERT_EQ(boundary.size(), 16u);
    EXPECT_EQ(boundary.substr(0, 8), "boundary");
    EXPECT_EQ(boundary.find_first_not_of("0123456789ABCDEF", 8), std::string::npos) << boundary;
  }
}
