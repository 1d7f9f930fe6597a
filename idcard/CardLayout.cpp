#include "CardLayout.h"

#include <iterator>

namespace idcard {
namespace {

#define PLACE(key, offset, length, capacity, finish) \
    FieldPlace { #key, offset, length, capacity, Finish::finish, offsetof(IDINFO, key), sizeof(IDINFO::key) }

// A resident identity card's capacity of 1000 never limits a field; the
// other two types' capacities do (10 Chinese characters for a name, 23 for
// a residence permit's address).
const FieldPlace residentFields[] = {
    PLACE(name, 0, 30, 1000, CutAtSpace),
    PLACE(gender, 30, 2, 1000, Gender),
    PLACE(nation, 32, 4, 1000, Nation),
    PLACE(birthday, 36, 16, 1000, Fixed8),
    PLACE(address, 52, 70, 1000, CutAtSpace),
    PLACE(idNum, 122, 36, 1000, Fixed18),
    PLACE(issueOrg, 158, 30, 1000, CutAtSpace),
    PLACE(effectDate, 188, 16, 1000, Fixed8),
    PLACE(expireDate, 204, 16, 1000, Fixed8),
};

const FieldPlace foreignPermanentFields[] = {
    PLACE(englishName, 0, 120, 120, CutAtSpace),
    PLACE(gender, 120, 2, 2, Gender),
    PLACE(idNum, 122, 30, 30, Whole),
    PLACE(nationCode, 152, 6, 6, Whole),
    PLACE(name, 158, 30, 30, CutAtSpace),
    PLACE(effectDate, 188, 16, 8, Whole),
    PLACE(expireDate, 204, 16, 8, Whole),
    PLACE(birthday, 220, 16, 8, Whole),
    PLACE(CertVersion, 236, 4, 4, Whole),
    PLACE(issueOrg, 240, 8, 4, Whole),
};

const FieldPlace residencePermitFields[] = {
    PLACE(name, 0, 30, 30, CutAtSpace),
    PLACE(gender, 30, 2, 2, Gender),
    PLACE(birthday, 36, 16, 8, Fixed8),
    PLACE(address, 52, 70, 70, Whole),
    PLACE(idNum, 122, 36, 18, Fixed18),
    PLACE(issueOrg, 158, 30, 30, CutAtSpace),
    PLACE(effectDate, 188, 16, 8, Whole),
    PLACE(expireDate, 204, 16, 8, Fixed8),
    PLACE(passNum, 220, 18, 18, Whole),
    PLACE(signCount, 238, 4, 4, Whole),
};

#undef PLACE

const CardLayout layouts[] = {
    {CardKind::Resident, residentFields, std::size(residentFields)},
    {CardKind::ForeignPermanent, foreignPermanentFields, std::size(foreignPermanentFields)},
    {CardKind::ResidencePermit, residencePermitFields, std::size(residencePermitFields)},
};

} // namespace

CardKind cardKindOf(char cardTypeCharacter)
{
    switch (cardTypeCharacter) {
    case 'I':
        return CardKind::ForeignPermanent;
    case 'J':
        return CardKind::ResidencePermit;
    default:
        return CardKind::Resident;
    }
}

const CardLayout& cardLayout(CardKind kind)
{
    return layouts[static_cast<int>(kind)];
}

} // namespace idcard
