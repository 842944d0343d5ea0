#include "LevelledView.h"

std::shared_ptr<LevelledView> LevelledView::make(const QString &text, const HeightMap &map,
                                                 const MachineState &modes)
{
    auto view = std::make_shared<LevelledView>();
    view->program = LevelledProgram::level(text, map);
    if (view->program.refusal.isEmpty()) {
        QString blocks = view->program.text;
        blocks.replace(QLatin1Char('\n'), QChar(QChar::ParagraphSeparator));
        view->reader.setStartState(modes);
        view->reader.replaceBlocks(0, 0, blocks);
        view->reader.update(view->path);
    }
    return view;
}
