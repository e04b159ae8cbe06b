#include "PictureManager.h"
#include "ByteReader.h"
#include "PictureMap.h"
#include "ResourceTable.h"
#include "SkinPicture.h"
#include "SkinTestPictures.h"

#include <gtest/gtest.h>

const CResourceTable& TestResources();

TEST(ResourceTable, TheBuildStepCompilesResourcesByTypeAndId)
{
    const CResourceTable& table = TestResources();
    EXPECT_EQ(table.Count(), 3u);
    const CResourceTable::Blob form = table.Find(ResourceType::Form, 9);
    ASSERT_NE(form.data, nullptr);
    EXPECT_EQ(form.size, 12u);
    EXPECT_EQ(table.Find(ResourceType::Picture, 9).data, nullptr);
    EXPECT_EQ(table.Find(ResourceType::Form, 5).data, nullptr);

    CPictureManager pictures(table);
    ASSERT_EQ(pictures.LoadMap(), 1);
    ASSERT_EQ(pictures.Map().Entries().size(), 1u);
    EXPECT_EQ(pictures.Map().Entries()[0].sourcePath, "C:\\skin\\dot.tga");
    const CSkinPicture* dot = pictures.GetPicture(5);
    ASSERT_NE(dot, nullptr);
    EXPECT_EQ(dot->PixelAt(0, 0), 0xFFFF0000u); // top row is stored last
    EXPECT_EQ(dot->PixelAt(1, 1), 0xFF00FF00u);
}

TEST(PictureManager, SharesPicturesAndFreesThemAtTheLastRelease)
{
    CResourceTable table;
    CSkinPicture picture;
    MakeSolid(picture, 2, 1, 0xFF010203u);
    table.Add(ResourceType::Picture, 40, TgaBytes(picture, 24));
    table.Add(ResourceType::Picture, 41, TgaBytes(picture, 24));
    table.Add(ResourceType::Picture, 42, {1, 2, 3});
    CPictureMap map;
    map.Add(40, "a.tga");
    map.Add(42, "broken.tga");
    table.Add(ResourceType::PictureMap, 1, map.Write());

    CPictureManager pictures(table);
    EXPECT_EQ(pictures.GetPicture(40), nullptr); // no map loaded yet
    ASSERT_EQ(pictures.LoadMap(), 1);
    CSkinPicture* first = pictures.GetPicture(40);
    CSkinPicture* second = pictures.GetPicture(40);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(pictures.ReferenceCount(40), 2);
    EXPECT_EQ(pictures.GetPicture(41), nullptr); // has a resource but is not mapped
    EXPECT_EQ(pictures.GetPicture(42), nullptr); // mapped but does not parse
    EXPECT_EQ(pictures.ReferenceCount(42), 0);
    pictures.ReleasePicture(40);
    EXPECT_EQ(pictures.ReferenceCount(40), 1);
    pictures.ReleasePicture(40);
    EXPECT_EQ(pictures.ReferenceCount(40), 0);
    EXPECT_EQ(pictures.LoadMap(7), 0); // missing map: the old one stays
    EXPECT_TRUE(pictures.Map().Contains(40));
}

TEST(PictureMap, WriteThenReadGivesTheSameBytesAndHostileCountsStop)
{
    CPictureMap map;
    for (int id = 0; id < 79; ++id)
        map.Add(id * 3, "C:\\authoring\\skin\\picture" + std::to_string(id) + ".tga");
    const std::vector<uint8_t> bytes = map.Write();
    CPictureMap read;
    CByteReader stream(bytes.data(), bytes.size());
    ASSERT_EQ(read.Read(stream), 1);
    EXPECT_EQ(read.Write(), bytes);

    std::vector<uint8_t> hostile = {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 5, 0, 0, 0, 3, 'a', 'b'};
    CByteReader hostileStream(hostile.data(), hostile.size());
    ASSERT_EQ(read.Read(hostileStream), 1);
    ASSERT_EQ(read.Entries().size(), 1u);
    EXPECT_EQ(read.Entries()[0].sourcePath, "ab");
}
