#include "store/hash_threads.h"

int ChooseHashThreads(const SeekPenalty* answers, int count, int processors) {
    int perProcessor = processors > 0 ? processors : 1;
    if (count == 0) return perProcessor;
    for (int i = 0; i < count; ++i) {
        if (answers[i] != SeekPenaltyPresent) return perProcessor;
    }
    return 1;
}

int DefaultHashThreads(const std::vector<PathString>& targets) {
    std::vector<SeekPenalty> answers;
    for (const PathString& target : targets) {
        answers.push_back(QuerySeekPenalty(target.c_str()));
        if (answers.back() != SeekPenaltyPresent) break;
    }
    return ChooseHashThreads(answers.data(), static_cast<int>(answers.size()), ProcessorCount());
}
