#include "CardCodes.h"

#include <iterator>

namespace idcard {
namespace {

const char* const nations[] = {
    "汉", "蒙古", "回", "藏", "维吾尔", "苗", "彝", "壮", "布依", "朝鲜",
    "满", "侗", "瑶", "白", "土家", "哈尼", "哈萨克", "傣", "黎", "傈僳",
    "佤", "畲", "高山", "拉祜", "水", "东乡", "纳西", "景颇", "柯尔克孜", "土",
    "达斡尔", "仫佬", "羌", "布朗", "撒拉", "毛南", "仡佬", "锡伯", "阿昌", "普米",
    "塔吉克", "怒", "乌孜别克", "俄罗斯", "鄂温克", "德昂", "保安", "裕固", "京", "塔塔尔",
    "独龙", "鄂伦春", "赫哲", "门巴", "珞巴", "基诺",
};
constexpr int nationCount = int(std::size(nations));
static_assert(nationCount == 56, "the nation table has 56 entries");

} // namespace

const char* genderName(const std::string& code)
{
    if (code == "1")
        return "男";
    if (code == "2")
        return "女";
    return "其他";
}

const char* nationName(int code)
{
    return code >= 1 && code <= nationCount ? nations[code - 1] : "";
}

int nationCode(const std::string& name)
{
    for (int i = 0; i < nationCount; ++i)
        if (name == nations[i])
            return i + 1;
    return 0;
}

} // namespace idcard
